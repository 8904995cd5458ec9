#include "rurorade/hall_diagram.h"
