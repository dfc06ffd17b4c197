// A header low in the house that reaches up: the layer check must refuse it.
#pragma once

#include "base/Str.h"
#include "ui/High.h"
