#include "rurorade/resolution.h"
