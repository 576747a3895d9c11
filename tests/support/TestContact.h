#pragma once

#include <cstdint>
#include <string>

#include "storage/CvContact.h"

// A contact of `kind` (kContactUser, kContactWorkgroup) named `name`, shown
// as `display`, in `group`.
CvContact TestContact(int32_t kind, const std::string& name, const std::string& display,
                      const std::string& group = {});
