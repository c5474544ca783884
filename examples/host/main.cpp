// The demo host: what a host application does with DKChronoKit, as far as the framework exists.
#include <cstdio>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/value.h"

int main() {
  using namespace dk::platform;
  MainRunLoop::bindToCurrentThread();
  auto worker = DispatchQueue::createSerial("com.kelo.host.demo");
  worker->async([] {
    Value page = Value::parseJSON(R"({"values": [{"id": 1}, {"id": 2}]})");
    const size_t count = page["values"].count();
    DispatchQueue::main()->async([count] { std::printf("parsed a page of %zu values on a worker queue\n", count); });
  });
  MainRunLoop::runUntilIdle();
  return 0;
}
