#pragma once
// Message boxes and the shell: what the window's desktop offers the core.
#include "text/text.h"

namespace tovak::platform {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Error, Warning, Information };

// The pressed button, as the system reports it.
enum MessageAnswer : int { kAnswerOk = 0, kAnswerCancel = 1, kAnswerAbort = 2, kAnswerRetry = 3,
                           kAnswerIgnore = 4, kAnswerYes = 5, kAnswerNo = 6 };

inline const char* const kDefaultCaption = "信息：";

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Task-modal and without owner; callable from any thread, it blocks until answered.
  virtual int ShowMessage(const Text& text, const Text& caption, MessageButtons buttons, MessageIcon icon) = 0;
  // Opens the file with the application the desktop associates with it; the result is not examined.
  virtual void OpenWithShell(const Text& path) = 0;
};

}  // namespace tovak::platform
