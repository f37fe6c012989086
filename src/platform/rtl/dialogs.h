// The platform's message service: ShowMessage shows one text to the user and
// returns when the user has seen it. The runtime has no windows of its own, so
// the presentation is a handler that the application (or a GUI edition)
// installs; without one the text goes to standard error, one line per message.
//
// The handler is process-wide and called on the thread that shows the
// message; installing one returns the previous handler so that a caller (a
// test, a dialog scope) can put it back.
#pragma once

#include <functional>
#include <string>

namespace fyndra {

using TShowMessageHandler = std::function<void(const std::string& Msg)>;

// Shows Msg through the installed handler (standard error when none).
void ShowMessage(const std::string& Msg);

// Installs Handler (an empty one restores the standard-error default) and
// returns the handler that was installed before.
TShowMessageHandler SetShowMessageHandler(TShowMessageHandler Handler);

}  // namespace fyndra
