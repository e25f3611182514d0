// Every test of this program that reaches OpenGL runs on SDL's offscreen driver (CI has no
// display), and the GL driver stays loaded until the program ends, as it does in the
// benchmark: the driver keeps allocations for the life of the process, which the leak checker
// can only see as reachable while the driver's libraries are still mapped.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class OffscreenGl : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    window_ = SDL_CreateWindow("driver", 0, 0, 8, 8, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  }

 private:
  SDL_Window* window_ = nullptr;  // kept to the end on purpose
};

[[maybe_unused]] ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new OffscreenGl);

}  // namespace
