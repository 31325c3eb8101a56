# The application: the pid file reader, parser and identity check, the Linux settings file, and
# the administrator command lines (shell word splitting and the AppleScript string literal).
quill_add_fuzzer(pid_file_fuzz SOURCES pid_file_fuzz.cpp LIBS app_posix tool_identity)
quill_add_fuzzer(settings_fuzz SOURCES settings_fuzz.cpp LIBS app_linux)
quill_add_fuzzer(admin_script_fuzz SOURCES admin_script_fuzz.cpp shell_words.cpp LIBS app_core)
