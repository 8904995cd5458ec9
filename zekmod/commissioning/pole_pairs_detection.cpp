#include "commissioning/pole_pairs_detection.h"
