// Only in builds with AddressSanitizer and UndefinedBehaviorSanitizer: their hooks for
// vendrask-leser's cage. The leak check at the end stops the world with ptrace and threads,
// which the cage forbids. A report asks whether standard error is a terminal before its first
// line; without colours it prints the kind of error and the access, and the cage ends the helper
// when the report goes on to read the memory map for the stack.
extern "C" {

int __lsan_is_turned_off() { return 1; }

const char* __asan_default_options() { return "color=never"; }

const char* __ubsan_default_options() { return "color=never"; }

}
