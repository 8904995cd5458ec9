#pragma once
// The built-in sample setup, the text of setups/default.json.
const char* DefaultSetupText();
