#include "commissioning/encoder_resolution_detection.h"
