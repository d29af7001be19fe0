#include "tests/engine/support_pictures.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace genshoku::test_support {

namespace {

int ClampByte(double value) {
  return static_cast<int>(std::clamp(std::floor(value + 0.5), 0.0, 255.0));
}

}  // namespace

void Picture::Set(int x, int y, int red, int green, int blue) {
  const size_t i = static_cast<size_t>(y) * width + x;
  r[i] = static_cast<uint8_t>(red);
  g[i] = static_cast<uint8_t>(green);
  b[i] = static_cast<uint8_t>(blue);
}

Picture NoisePicture(int width, int height, unsigned seed) {
  Picture picture(width, height);
  std::mt19937 generator(seed);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Three separate statements: the order of draws must not depend on the compiler's
      // order of evaluating arguments (these pictures were first made blue draw first).
      const int blue = static_cast<int>(generator() & 0xFF);
      const int green = static_cast<int>(generator() & 0xFF);
      const int red = static_cast<int>(generator() & 0xFF);
      picture.Set(x, y, red, green, blue);
    }
  }
  return picture;
}

Picture GradientPicture(int width, int height) {
  Picture picture(width, height);
  const int wx = std::max(1, width - 1), wy = std::max(1, height - 1);
  const int wd = std::max(1, width + height - 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.Set(x, y, x * 255 / wx, y * 255 / wy, (x + y) * 255 / wd);
    }
  }
  return picture;
}

Picture FlatPicture(int width, int height, int red, int green, int blue) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.Set(x, y, red, green, blue);
  }
  return picture;
}

Picture FewColoursPicture(int width, int height, int colours, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<uint32_t> palette(colours);
  for (uint32_t& colour : palette) colour = generator() & 0xFFFFFF;
  Picture picture(width, height);
  const int block = 3;
  const int blocksAcross = (width + block - 1) / block;
  std::vector<uint32_t> blockColour(size_t(blocksAcross) * ((height + block - 1) / block));
  for (uint32_t& colour : blockColour) colour = palette[generator() % colours];
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = blockColour[size_t(y / block) * blocksAcross + x / block];
      picture.Set(x, y, c >> 16, (c >> 8) & 0xFF, c & 0xFF);
    }
  }
  return picture;
}

Picture PhotoLikePicture(int width, int height, unsigned seed, int grain) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  // Smooth shading: a few broad waves per channel.
  struct Wave {
    double fx, fy, phase, amplitude;
  };
  Wave waves[3][3];
  for (auto& channel : waves) {
    for (Wave& wave : channel) {
      wave = {unit(generator) * 6.0 / width, unit(generator) * 6.0 / height, unit(generator) * 6.28,
              20.0 + unit(generator) * 50.0};
    }
  }
  double base[3] = {60 + unit(generator) * 120, 60 + unit(generator) * 120,
                    60 + unit(generator) * 120};
  // Hard-edged discs with their own colour and a little shading.
  struct Disc {
    double cx, cy, radius;
    double colour[3];
  };
  std::vector<Disc> discs(4);
  for (Disc& disc : discs) {
    disc = {unit(generator) * width,
            unit(generator) * height,
            (0.08 + unit(generator) * 0.2) * std::min(width, height),
            {unit(generator) * 255, unit(generator) * 255, unit(generator) * 255}};
  }
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double value[3];
      for (int c = 0; c < 3; ++c) {
        value[c] = base[c];
        for (const Wave& wave : waves[c]) {
          value[c] +=
              wave.amplitude * std::sin(wave.fx * x * 6.28 + wave.fy * y * 6.28 + wave.phase);
        }
      }
      for (const Disc& disc : discs) {
        const double dx = x - disc.cx, dy = y - disc.cy;
        const double d2 = dx * dx + dy * dy;
        if (d2 < disc.radius * disc.radius) {
          const double shade = 1.0 - 0.3 * d2 / (disc.radius * disc.radius);
          for (int c = 0; c < 3; ++c) value[c] = disc.colour[c] * shade;
        }
      }
      int noisy[3];
      for (int c = 0; c < 3; ++c) {
        const int jitter = grain > 0 ? static_cast<int>(generator() % (2 * grain + 1)) - grain : 0;
        noisy[c] = ClampByte(value[c] + jitter);
      }
      picture.Set(x, y, noisy[0], noisy[1], noisy[2]);
    }
  }
  return picture;
}

Picture StripesPicture(int width, int height, int period) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if ((x / period) % 2 == 0) {
        picture.Set(x, y, 250, 240, 10);
      } else {
        picture.Set(x, y, 10, 20, 200);
      }
    }
  }
  return picture;
}

}  // namespace genshoku::test_support
