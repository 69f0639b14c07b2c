// The stub's own message box: marked-up text in a read-only rich-text control, an icon on a
// coloured strip, up to three buttons with language texts, an optional time-out. Results
// are the system message box's numbers (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes,
// 7 No; 0 when closed without a button).
#pragma once

#include <windows.h>

#include <string>

namespace stub {

// ownerMode 0: active window as owner, with the caption as a bold heading; 1: no heading;
// 2: as 1 without the Close command; anything else: the owner window's handle.
typedef INT_PTR OwnerMode;

int MsgBoxEx(HWND owner, const std::string& text, const std::string& caption, unsigned timeout, DWORD flags,
             const std::string& buttons);
int ShowMessageBox(OwnerMode ownerMode, const std::string& text, const std::string& caption, unsigned timeout,
                   DWORD flags, int charset, const std::string& buttons);

void MsgError(OwnerMode ownerMode, const std::string& text, const std::string& caption = std::string(),
              int charset = 0, const std::string& buttons = std::string());
void MsgAttention(OwnerMode ownerMode, const std::string& text, const std::string& caption = std::string(),
                  unsigned timeout = 0, int charset = 0, const std::string& buttons = std::string());
bool MsgConfirm(OwnerMode ownerMode, const std::string& text, const std::string& caption = std::string(),
                unsigned timeout = 0, int charset = 0, const std::string& buttons = std::string());
bool MsgOkCancel(OwnerMode ownerMode, const std::string& text, const std::string& caption = std::string(),
                 int charset = 0, const std::string& buttons = std::string());

void SetMsgBoxFont(const std::string& face, int size, int charset);

// Loads the libraries the rich-text control needs while the program's own medium is still
// there (a program started from a removable disk may lose it); DoneMsgBox frees the
// rich-edit library at the end of the run.
void InitMsgBox();
void DoneMsgBox();

}  // namespace stub
