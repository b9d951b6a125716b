// The voice token of the tests: a token of given values that can fail chosen reads.
#pragma once

#include "ValueToken.h"

using TFakeToken = TValueToken;
