// What the race checker (ThreadSanitizer) must ignore, built into the program
// and into every test program. Outside a race-checking build nothing reads it.
//
// GLib, GIO and libsecret are not built with ThreadSanitizer: their own
// allocator and locks (atomics and futexes) are invisible to it, so the memory
// they hand between their worker thread and ours looks like a race. The same
// holds for cpp-httplib's prebuilt library, whose thread pool serves the local
// stand-in servers in the tests. Qt too: it splits image work over its own
// thread pool, handing buffers over with its futex-based locks. Accesses made
// from inside those libraries are ignored; our own code stays checked.
// libpulse's mutexes are ordinary pthread mutexes the checker follows (they
// order our callbacks), so only reports inside its common library, where
// those mutexes are made and taken, are set aside.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libgobject-2.0.so.0\n"
           "called_from_lib:libgio-2.0.so.0\n"
           "called_from_lib:libsecret-1.so.0\n"
           "called_from_lib:libcpp-httplib.so\n"
           "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "race:libpulsecommon-*.so\n";
}

// What the leak checker must ignore: Qt's desktop platform talks to the
// session bus through libdbus, and fontconfig caches the fonts it matched;
// both keep those allocations for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so.3\n"
           "leak:libfontconfig.so.1\n";
}
