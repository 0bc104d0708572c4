// The window the install dialog runs in. The dialog's logic touches its
// controls only through this, so that it runs in native tests too.
#pragma once

#include <string>

namespace orvik {

class DialogWindow {
 public:
  virtual ~DialogWindow() = default;
  virtual void SetControlText(int control_id, const std::string& text) = 0;
  virtual std::string ControlText(int control_id) = 0;
  virtual void CheckButton(int control_id) = 0;
  virtual void Activate() = 0;
  // The whole client area, background erased.
  virtual void InvalidateAll() = 0;
  // A box with the text and one OK button, owned by the dialog window;
  // returns when it is dismissed.
  virtual void ShowMessage(const std::string& text,
                           const std::string& caption) = 0;
  virtual void EndDialog(int result) = 0;
};

}  // namespace orvik
