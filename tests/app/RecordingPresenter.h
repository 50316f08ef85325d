#pragma once

#include <functional>
#include <vector>

#include "app/MessageBox.h"

namespace kestrava::testing {

// Answers every message box at once and keeps what it was asked to show.
class TRecordingPresenter final : public TMessageBoxPresenter {
 public:
  void Show(const TMessageBoxRequest& request) override {
    shown.push_back(request);
    if (onShow) onShow(request);
  }
  std::vector<TMessageBoxRequest> shown;
  std::function<void(const TMessageBoxRequest&)> onShow;
};

}  // namespace kestrava::testing
