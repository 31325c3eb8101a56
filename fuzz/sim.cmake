# The simulated Mac: the profile and dump parser, and the device code and ventwarden against hostile
# device files.
quill_add_fuzzer(profile_fuzz SOURCES profile_fuzz.cpp LIBS sim)
quill_add_fuzzer(device_fuzz SOURCES device_fuzz.cpp LIBS sim tool_core)
