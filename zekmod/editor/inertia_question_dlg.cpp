#include "editor/inertia_question_dlg.h"
