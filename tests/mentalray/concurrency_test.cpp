// Many threads shading at once, starting from an empty host function table,
// give bit for bit what one thread gives. Run under ThreadSanitizer in CI:
// the table slots and the host module's records are shared.
#include <cmath>
#include <thread>
#include <vector>

#include "harness.h"

namespace {

class Concurrency : public mrtest::RendererTest {};

TEST_F(Concurrency, ThreadsFromAnEmptyTableMatchOneThread) {
  const miTag point = host().add_point_light({2.0f, 3.0f, 4.0f}, {1.0f, 0.9f, 0.8f, 1.0f});
  const miTag area =
      host().add_rect_light({-3.0f, 1.0f, 2.0f}, {1, 0, 0}, {0, 1, 0}, {0.3f, 0.3f, 0.4f, 1}, 4);
  const miTag disc = host().add_disc_light({0, -2, 3}, {0, 1, -1}, 0.5f, {0.5f, 0.2f, 0.2f, 1}, 3);
  host().set_irradiance({0.2f, 0.3f, 0.4f, 1.0f});
  auto block = renderer.make_block({point, area, disc});
  std::string error;
  ASSERT_TRUE(block.set("useIrradiance", "on", &error)) << error;
  const miColor tint{0.9f, 0.2f, 0.1f, 1.0f};
  ASSERT_TRUE(block.connect("color", host().add_connection(&tint, sizeof tint), &error)) << error;

  // Points on a bumpy sheet seen from above at varying angles.
  constexpr int kSamples = 2000;
  std::vector<miState> states;
  for (int i = 0; i < kSamples; ++i) {
    const float u = static_cast<float>(i % 50) / 25.0f - 1.0f,
                v = static_cast<float>(i / 50) / 20.0f - 1.0f;
    const float nx = 0.3f * std::sin(5.0f * u), ny = 0.3f * std::cos(4.0f * v);
    const float len = std::sqrt(nx * nx + ny * ny + 1.0f);
    const float dx = 0.5f * u, dy = 0.5f * v, dlen = std::sqrt(dx * dx + dy * dy + 1.0f);
    states.push_back(renderer.make_state(block, {u, v, 0.0f}, {nx / len, ny / len, 1.0f / len},
                                         {dx / dlen, dy / dlen, -1.0f / dlen}));
  }
  std::vector<miColor> expected(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    miState st = states[i];
    expected[i] = {0.0f, 0.0f, 0.0f, 0.0f};
    renderer.shade(&expected[i], &st, block);
  }

  constexpr int kThreads = 8;
  std::vector<std::vector<miColor>> results(kThreads, std::vector<miColor>(kSamples));
  mrhost::testing::clear_records(host());
  mrhost::testing::set_module_handle(renderer, host().handle());  // empties the table
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kSamples; ++k) {
        const int i = (k + t * 97) % kSamples;  // threads start at different points
        miState st = states[i];
        results[t][i] = {0.0f, 0.0f, 0.0f, 0.0f};
        renderer.shade(&results[t][i], &st, block);
      }
    });
  }
  for (std::thread& th : threads) th.join();

  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kSamples; ++i) {
      ASSERT_EQ(results[t][i].r, expected[i].r) << "thread " << t << " sample " << i;
      ASSERT_EQ(results[t][i].g, expected[i].g) << "thread " << t << " sample " << i;
      ASSERT_EQ(results[t][i].b, expected[i].b) << "thread " << t << " sample " << i;
    }
  }
  // Every call reached the module and was counted: (1 + 4 + 3 samples + 3
  // "done") per shade.
  EXPECT_EQ(mrhost::testing::sample_light_calls(host()), long{kThreads} * kSamples * 11);
  EXPECT_EQ(mrhost::testing::phen_eval_calls(host()), long{kThreads} * kSamples);
  EXPECT_EQ(mrhost::testing::compute_irradiance_calls(host()), long{kThreads} * kSamples);
}

}  // namespace
