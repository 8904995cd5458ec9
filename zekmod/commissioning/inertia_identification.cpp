#include "commissioning/inertia_identification.h"
