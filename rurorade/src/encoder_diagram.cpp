#include "rurorade/encoder_diagram.h"
