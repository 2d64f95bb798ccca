// sleeper: an ordinary Wine process that does nothing until it is killed. Wine ends its
// system processes (the Service Control Manager and every service among them) soon after
// the last ordinary process of a prefix exits, so service tests keep one of these running.
#include <windows.h>

int main() {
    Sleep(INFINITE);
    return 0;
}
