#pragma once
// The one parser of "EEE',' dd MMM yyyy HH:mm:ss zzz" dates (English names,
// zone abbreviation or numeric offset; an unknown zone gives no date, as any
// other text that does not match). Stateless
// after creation, so the shared instance serves every thread at once.

#include <optional>
#include <string_view>

#include "platform/Value.h"

class KMRFC822DateFormatter {
 public:
  std::optional<kdisk::Date> dateFromString(std::string_view text) const;
};

// Created on first use, once, whichever thread gets there first.
const KMRFC822DateFormatter& rfc822DateFormatter();
