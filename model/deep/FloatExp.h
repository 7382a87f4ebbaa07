#pragma once
// The deep engine's wide number lives with the other numbers past a double,
// where a view's half size is kept too.
#include "numbers/FloatExp.h"
