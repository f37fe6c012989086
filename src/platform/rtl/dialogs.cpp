#include <fyndra/platform/rtl/dialogs.h>

#include <iostream>
#include <utility>

namespace fyndra {

namespace {

TShowMessageHandler& Installed() {
  static TShowMessageHandler Handler;
  return Handler;
}

}  // namespace

void ShowMessage(const std::string& Msg) {
  // A copy, so that a handler that installs another one keeps running.
  TShowMessageHandler Handler = Installed();
  if (Handler) {
    Handler(Msg);
    return;
  }
  std::cerr << Msg << '\n';
}

TShowMessageHandler SetShowMessageHandler(TShowMessageHandler Handler) {
  return std::exchange(Installed(), std::move(Handler));
}

}  // namespace fyndra
