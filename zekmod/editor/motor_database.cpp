#include "editor/motor_database.h"
