"""The debug channel as the viewer sees it: pieces of at most 128 characters, each line end
closing a piece; and the stub runs the same without a viewer."""
import shutil

from conftest import win_path


def test_long_lines_arrive_in_pieces_of_128(wine, viewer, workdir):
    exe = workdir / "setup.exe"
    shutil.copy(wine.stub_exe, exe)
    arg = "/" + "a" * 299
    mark, pieces_mark = viewer.mark(), viewer.piece_mark()
    assert wine.run_answering_box(exe, arg, cwd=workdir)[0] == 1620 & 0xFF  # no package: Bad CRC
    text = viewer.text_since(mark)
    pieces = viewer.piece_lengths_since(pieces_mark)
    start = text.split("\r\n")[0]
    assert start.endswith(f'"{win_path(exe)}" {arg}<')
    # The start line with its line end, cut into 128-character pieces.
    n = len(start) + 2
    expected = [128] * (n // 128) + ([n % 128] if n % 128 else [])
    assert pieces[:len(expected)] == expected
    assert all(p <= 128 for p in pieces)
    assert sum(pieces) == len(text)


def test_stub_runs_the_same_without_a_viewer(wine, viewer, workdir):
    """No viewer window: the debug text is dropped, no file appears, the exit code is the same."""
    viewer.stop()
    try:
        exe = workdir / "setup.exe"
        shutil.copy(wine.stub_exe, exe)
        assert wine.run_answering_box(exe, "/x", cwd=workdir)[0] == 1620 & 0xFF
        assert sorted(p.name for p in workdir.iterdir()) == ["setup.exe"]
    finally:
        viewer.restart(wine)
