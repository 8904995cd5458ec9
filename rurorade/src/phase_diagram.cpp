#include "rurorade/phase_diagram.h"
