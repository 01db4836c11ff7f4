// What the installation run shows while it works. The main window
// implements it (src/ui/main_window_win32.cc); unattended and quiet runs
// have none (null). The run never reaches the window in any other way.
#ifndef SFX_INSTALL_INSTALL_VIEW_H_
#define SFX_INSTALL_INSTALL_VIEW_H_

#include "base/string.h"

namespace sfx {

class InstallView {
 public:
  virtual ~InstallView() = default;
  // The destination as the window's field holds it now, read with room for
  // `max_chars` characters (a longer text is refused by the run, not cut).
  virtual String Destination(int max_chars) = 0;
  // Copying begins: a progress bar appears at 0.
  virtual void ShowProgress() = 0;
  // The bar (when there is one) at `percent` (0..100).
  virtual void SetProgress(int percent) = 0;
  // Copying failed: the bar disappears; the window stays open.
  virtual void HideProgress() = 0;
  // A file has been written: the window shows it at once.
  virtual void ShowFile() = 0;
  // The run is over: the window closes.
  virtual void Close() = 0;
};

}  // namespace sfx

#endif  // SFX_INSTALL_INSTALL_VIEW_H_
