#pragma once

// The module's application object: one instance, constructed on load, destroyed on unload.
// It holds no data and changes no default behaviour.
class CZEKApp {
public:
    CZEKApp();  // registers the dialog templates with the host
};

extern CZEKApp theApp;
