# A thin layer over the CMake presets and the scripts.
.PHONY: dist test demo bootstrap clean

dist:
	bash scripts/build.sh

bootstrap:
	bash scripts/bootstrap.sh

test:
	bash scripts/test.sh

demo:
	bash scripts/demo.sh

clean:
	rm -rf build dist
