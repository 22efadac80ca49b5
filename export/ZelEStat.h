#pragma once
// Progress of an export run: decides when the progress window changes (every
// UpdateStep-th record, and only when the bar would move by more than 1 % of its
// maximum) and holds the run's stop request.

#include <memory>
#include <string>

#include "export/ZelEPlatform.h"

namespace korvane {

class TZelEProgress {
 public:
  // Opens a window through the services (at most one: an open one is closed
  // first). Answers whether a window is shown; on failure the services are told
  // "Can't create a process dialog" and the run goes on without one.
  bool Show(TZelEServices& services, const std::string& caption, const std::string& status, int position,
            int maximum, int minimum, const std::string& cancelCaption, const std::string& failureText);
  // Answers false when there is no window. With updateStep > 0 only positions
  // that are multiples of it are considered (and answer true without change).
  bool Update(const std::string& text, int position, int updateStep);
  // Answers whether a window was closed.
  bool Hide();
  bool Visible() const { return window_ != nullptr; }

  // The stop request: the window's cancel flag while it exists, else our own.
  bool Cancelled() const;
  void SetCancelled(bool c);

  // What the window shows now (for tests and for windows that redraw lazily).
  int Position() const { return position_; }
  int Maximum() const { return maximum_; }
  const std::string& StatusText() const { return status_; }
  int VisibleUpdates() const { return visibleUpdates_; }

 private:
  std::unique_ptr<TZelEProgressWindow> window_;
  bool cancelled_ = false;
  int position_ = 0;
  int minimum_ = 0;
  int maximum_ = 0;
  std::string status_;
  int visibleUpdates_ = 0;
};

}  // namespace korvane
