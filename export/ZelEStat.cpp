#include "export/ZelEStat.h"

#include <cmath>
#include <exception>

namespace korvane {

bool TZelEProgress::Show(TZelEServices& services, const std::string& caption, const std::string& status,
                         int position, int maximum, int minimum, const std::string& cancelCaption,
                         const std::string& failureText) {
  Hide();
  // A stop request made before the window existed still counts.
  bool cancelled = cancelled_;
  try {
    window_ = services.CreateProgressWindow();
    if (!window_) return false;
    window_->SetCancelRequested(cancelled);
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = position;
    status_ = status;
    visibleUpdates_ = 0;
    window_->Show(caption, status, position, minimum, maximum, cancelCaption);
    return true;
  } catch (const std::exception&) {
    window_.reset();
    services.ShowMessage(TZelEMessageKind::Error, failureText);
    return false;
  }
}

bool TZelEProgress::Update(const std::string& text, int position, int updateStep) {
  if (updateStep > 0 && position % updateStep != 0) return true;
  if (!window_) return false;
  // The window moves only in steps of more than one hundredth of the maximum.
  if (std::fabs(static_cast<double>(position_) - static_cast<double>(position)) >
      static_cast<double>(maximum_) / 100.0) {
    status_ = text + " (" + std::to_string(position) + "/" + std::to_string(maximum_) + ")";
    position_ = position;
    ++visibleUpdates_;
    window_->Update(status_, position_);
  }
  return true;
}

bool TZelEProgress::Hide() {
  if (!window_) return false;
  cancelled_ = window_->CancelRequested();
  try {
    window_->Hide();
  } catch (const std::exception&) {
    window_.reset();
    return false;
  }
  window_.reset();
  return true;
}

bool TZelEProgress::Cancelled() const { return window_ ? window_->CancelRequested() : cancelled_; }

void TZelEProgress::SetCancelled(bool c) {
  if (window_) window_->SetCancelRequested(c);
  cancelled_ = c;
}

}  // namespace korvane
