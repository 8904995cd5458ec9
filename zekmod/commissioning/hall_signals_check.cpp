#include "commissioning/hall_signals_check.h"
