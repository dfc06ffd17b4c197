// Reaching down is allowed.
#pragma once

#include "base/Low.h"
