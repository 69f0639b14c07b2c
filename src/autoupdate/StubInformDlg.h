// The inform dialog (window class "VRichEditBox"): the announcement of a new version as
// rich text in a resizable window, with a button that opens the vendor's web page when a
// link is given. It runs its own message loop until it is closed.
#pragma once

#include <windows.h>

#include <string>

namespace stub {

// Shows informText (or, when it is empty, opens link directly). A link that is not a web
// page is never opened and gives no button. True when the text was shown or the page opened.
// width or height 0 or less: 360.
bool ShowInformDialog(HWND owner, const std::string& caption, const std::string& buttonText,
                      const std::string& informText, const std::string& link, int width, int height,
                      bool rightToLeft, const std::string& fontName, int fontSize, int charset);

// Hands an http:// or https:// address to the shell; anything else is refused. Both refusals
// and failures go to the debug channel.
bool OpenWebLink(const std::string& link);

}  // namespace stub
