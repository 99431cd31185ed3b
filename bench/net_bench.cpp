// One ICMP echo to 127.0.0.1 (goal: at most 5 ms) and one HTTP HEAD to a loopback server (goal: at
// most 20 ms), each on its own host probe thread as the network probe runs them, and without the thread.
#include <benchmark/benchmark.h>

#include "../tests/net/loopback_http_server.h"
#include "conditions/host_probe_runner.h"
#include "net/http_client.h"
#include "net/icmp_echo.h"
#include "net/system_name_resolver.h"

namespace {

using namespace kip;

void BM_PingLoopbackThread(benchmark::State& state) {
  SystemNameResolver resolver;
  HostProbeRunner runner(resolver);
  if (runner.probe("127.0.0.1", "", "") != 1) {
    state.SkipWithError("no ICMP echo from 127.0.0.1 (no ICMP socket?)");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(runner.probe("127.0.0.1", "", ""));
}

void BM_PingLoopbackSocket(benchmark::State& state) {
  IcmpEcho echo(false);
  if (!echo.isOpen()) {
    state.SkipWithError("no ICMP socket");
    return;
  }
  const auto target = *IpAddress::parse("127.0.0.1");
  for (auto _ : state) benchmark::DoNotOptimize(echo.send(target).status);
  state.SetLabel(echo.isRaw() ? "raw socket" : "unprivileged socket");
}

void BM_HttpHeadLoopbackThread(benchmark::State& state) {
  test::LoopbackHttpServer server(200);
  SystemNameResolver resolver;
  HostProbeRunner runner(resolver);
  const std::string url = server.url("/");
  for (auto _ : state) benchmark::DoNotOptimize(runner.probe(url, "", ""));
}

void BM_HttpHeadLoopbackClient(benchmark::State& state) {
  test::LoopbackHttpServer server(200);
  SystemNameResolver resolver;
  HttpClient client(resolver);
  HttpRequest request;
  request.url = server.url("/");
  for (auto _ : state) benchmark::DoNotOptimize(client.head(request).status);
}

BENCHMARK(BM_PingLoopbackThread)->Unit(benchmark::kMillisecond)->Iterations(500);
BENCHMARK(BM_PingLoopbackSocket)->Unit(benchmark::kMillisecond)->Iterations(500);
BENCHMARK(BM_HttpHeadLoopbackThread)->Unit(benchmark::kMillisecond)->Iterations(300);
BENCHMARK(BM_HttpHeadLoopbackClient)->Unit(benchmark::kMillisecond)->Iterations(300);

}  // namespace

BENCHMARK_MAIN();
