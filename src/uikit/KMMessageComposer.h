#pragma once
// Text messages through the desktop's messaging application: the one
// registered for "sms:" links, as the messaging applications of Linux phones
// are. Writing and sending the message is that application's work, so
// composing hands it the body and returns once it is started; what the
// person does with the message never comes back. Whether any application
// takes "sms:" links is KLDevice::canSendSMS(). Any thread.
#include <string_view>

#include "platform/Expected.h"
#include "platform/URL.h"

namespace kdisk {

class KMMessageComposer {
public:
  // "sms:?body=" and the body percent-encoded as UTF-8 (only unreserved
  // characters stay, so "&" or "#" in the text cannot end the body early).
  static URL messageURLWithBody(std::string_view body);
  static Status composeWithBody(std::string_view body);
};

} // namespace kdisk
