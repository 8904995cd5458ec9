#include "commissioning/hall_configuration_detection.h"
