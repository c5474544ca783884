// The HTTP layer's scripted loopback server, built into this program too: the row cells' tests
// serve thumbnails with it.
#include "platform/net/test_http_server.cpp"  // NOLINT(bugprone-suspicious-include)
