#pragma once
// The pictures of the controls live in a Qt resource compiled into a static library,
// whose registration the linker drops unless something refers to it. Every control
// that reads a resource calls EnsureLoaded() first; the program and tests need not.

class TControlResources
{
public:
    // Registers the controls' resources once; cheap to call again.
    static void EnsureLoaded();
};
