#include "commissioning/phase_connection_check.h"
