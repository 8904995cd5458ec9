#include "commissioning/analogue_reference_check.h"
