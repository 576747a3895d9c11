#pragma once

#include "messaging/CvError.h"

// The database layer's error type. The layer reports failing statements on
// standard error and raises none; callers that guard against it carry on.
class CvDatabaseErr : public CvError {};
