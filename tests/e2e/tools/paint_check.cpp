// Checks a screenshot of the background window against what its painting
// must show. The screenshot is a binary PPM (convert shot.png shot.ppm); the
// client area is given as its rectangle on the screen. The expected colours
// are computed here from the rules, independently of the stub's own code.
//
//   Where something covers part of the client area (the wizard), --area
//   X,Y,W,H after --client limits the gradient and tile checks to that part,
//   given in client co-ordinates; the expected colours stay those of the
//   whole client area.
//
//   paint_check SHOT.ppm --client X,Y,W,H gradient banded
//       every pixel row has the gradient colour of that row: red 0, green 0,
//       blue 255 - floor(y^2 x 255 / H^2)
//   paint_check SHOT.ppm --client X,Y,W,H gradient dithered
//       each 8-row band b shows only the eight colours of rows b, b+8, ...,
//       b+56 (row H's black past the bottom), averages exactly to their mean,
//       and lies within the dither's step (its first minus its last colour)
//       of row b's colour
//   paint_check SHOT.ppm --client X,Y,W,H tiles TILE.ppm
//       the tile repeats from the client's top-left corner over the whole area
//   paint_check SHOT.ppm --client X,Y,W,H title R,G,B R,G,B [OFFSET]
//       the first colour (the shadow) has exactly the shape of the second,
//       OFFSET (default 4) pixels right and below; the second starts at or
//       after (10, 10). Smoothed edges of the second pass may blend into the
//       shadow: over the gradient a pixel with red or green counts as drawn.
//
// Exit code 0 when the check holds, 1 when it does not (the first faults are
// printed), 2 on bad usage or an unreadable image.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  Rgb at(int x, int y) const {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
};

// Reads the next header number of a PPM, passing over blanks and comments.
bool ReadNumber(FILE* file, int* value) {
  int c = fgetc(file);
  while (c == '#' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
    if (c == '#')
      while (c != '\n' && c != EOF) c = fgetc(file);
    c = fgetc(file);
  }
  if (c < '0' || c > '9') return false;
  *value = 0;
  while (c >= '0' && c <= '9') {
    *value = *value * 10 + (c - '0');
    c = fgetc(file);
  }
  return true;  // the one blank after the last number is consumed here
}

bool ReadPpm(const char* path, Image* image) {
  FILE* file = fopen(path, "rb");
  if (!file) {
    fprintf(stderr, "paint_check: cannot open %s\n", path);
    return false;
  }
  int maxValue = 0;
  bool ok = fgetc(file) == 'P' && fgetc(file) == '6' && ReadNumber(file, &image->width) &&
            ReadNumber(file, &image->height) && ReadNumber(file, &maxValue) && maxValue == 255 &&
            image->width > 0 && image->height > 0;
  if (ok) {
    image->pixels.resize(static_cast<size_t>(image->width) * image->height * 3);
    ok = fread(image->pixels.data(), 1, image->pixels.size(), file) == image->pixels.size();
  }
  fclose(file);
  if (!ok) fprintf(stderr, "paint_check: %s is not an 8-bit binary PPM\n", path);
  return ok;
}

struct Client {
  int x, y, width, height;
};

// The part of the client area that is checked, in client co-ordinates.
struct Area {
  int left, top, right, bottom;
};
Area g_area;

int g_faults = 0;

__attribute__((format(printf, 1, 2))) void Fault(const char* format, ...) {
  if (++g_faults > 10) return;
  va_list arguments;
  va_start(arguments, format);
  printf("FAULT ");
  vprintf(format, arguments);
  printf("\n");
  va_end(arguments);
}

int Blue(int64_t row, int64_t height) {
  if (row >= height) return 0;
  return 255 - static_cast<int>(row * row * 255 / (height * height));
}

bool CheckBanded(const Image& shot, const Client& c) {
  for (int y = g_area.top; y < g_area.bottom; ++y) {
    int blue = Blue(y, c.height);
    for (int x = g_area.left; x < g_area.right; ++x) {
      Rgb p = shot.at(c.x + x, c.y + y);
      if (!(p == Rgb{0, 0, blue})) Fault("row %d column %d is (%d, %d, %d), expected (0, 0, %d)", y, x, p.r, p.g, p.b, blue);
    }
  }
  printf("banded gradient of %d rows: row 0 blue %d, row %d blue %d, row %d blue %d\n", c.height, Blue(0, c.height),
         c.height / 2, Blue(c.height / 2, c.height), c.height - 1, Blue(c.height - 1, c.height));
  return g_faults == 0;
}

bool CheckDithered(const Image& shot, const Client& c) {
  int bands = 0;
  for (int band = 0; band < c.height; band += 8) {
    if (band < g_area.top || band + 8 > g_area.bottom) continue;
    int colours[8];
    for (int k = 0; k < 8; ++k) colours[k] = Blue(std::min(band + 8 * k, c.height), c.height);
    int rows = std::min(8, c.height - band);
    int64_t sum = 0, counted = 0;
    for (int y = band; y < band + rows; ++y)
      for (int x = g_area.left; x < g_area.right; ++x) {
        Rgb p = shot.at(c.x + x, c.y + y);
        if (p.r || p.g || std::find(colours, colours + 8, p.b) == colours + 8)
          Fault("row %d column %d: (%d, %d, %d) is none of the band's colours", y, x, p.r, p.g, p.b);
        // Whole 8 x 8 tiles hold each of the eight colours eight times.
        if (rows == 8 && x >= (g_area.left + 7) / 8 * 8 && x < g_area.right / 8 * 8) sum += p.b, counted++;
      }
    if (counted == 0) continue;
    double average = static_cast<double>(sum) / counted;
    double mean = 0;
    for (int k = 0; k < 8; ++k) mean += colours[k] / 8.0;
    if (average < mean - 0.01 || average > mean + 0.01)
      Fault("band at row %d averages %.3f, expected %.3f", band, average, mean);
    int step = colours[0] - colours[7];
    if (average < colours[0] - step - 1 || average > colours[0] + 1)
      Fault("band at row %d averages %.3f, more than the step %d below row %d's colour %d", band, average, step,
            band, colours[0]);
    ++bands;
  }
  printf("dithered gradient of %d rows: %d full bands checked; band 0 mixes blue %d to %d\n", c.height, bands,
         Blue(0, c.height), Blue(std::min(56, c.height), c.height));
  return g_faults == 0;
}

bool CheckTiles(const Image& shot, const Client& c, const Image& tile) {
  for (int y = g_area.top; y < g_area.bottom; ++y)
    for (int x = g_area.left; x < g_area.right; ++x)
      if (!(shot.at(c.x + x, c.y + y) == tile.at(x % tile.width, y % tile.height)))
        Fault("pixel (%d, %d) is not tile pixel (%d, %d)", x, y, x % tile.width, y % tile.height);
  int columns = (c.width + tile.width - 1) / tile.width, rows = (c.height + tile.height - 1) / tile.height;
  printf("tiles of %d x %d on %d x %d: %d x %d tiles from the top-left corner, the last column %d and the last row %d pixels\n",
         tile.width, tile.height, c.width, c.height, columns, rows, c.width - (columns - 1) * tile.width,
         c.height - (rows - 1) * tile.height);
  return g_faults == 0;
}

bool ParseRgb(const char* text, Rgb* rgb) { return sscanf(text, "%d,%d,%d", &rgb->r, &rgb->g, &rgb->b) == 3; }

// A font drawn with smoothing blends the edges of the second pass into the
// shadow under it. Over the gradient, which has no red or green, a pixel with
// some red or green is part of the title all the same.
bool BlendOverGradient(const Rgb& p) { return p.r > 0 || p.g > 0; }

bool CheckTitle(const Image& shot, const Client& c, Rgb first, Rgb second, int offset) {
  auto colourAt = [&](int x, int y, const Rgb& colour) {
    return x >= 0 && y >= 0 && x < c.width && y < c.height && shot.at(c.x + x, c.y + y) == colour;
  };
  int firstCount = 0, secondCount = 0;
  int box[2][4] = {{c.width, c.height, -1, -1}, {c.width, c.height, -1, -1}};  // min x, min y, max x, max y
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      int pass = colourAt(x, y, first) ? 0 : colourAt(x, y, second) ? 1 : -1;
      if (pass < 0) continue;
      (pass == 0 ? firstCount : secondCount)++;
      int* b = box[pass];
      b[0] = std::min(b[0], x), b[1] = std::min(b[1], y), b[2] = std::max(b[2], x), b[3] = std::max(b[3], y);
      // Every shadow pixel belongs to the shape of the second pass moved by the
      // offset; every pixel of the second pass has its shadow pixel, unless
      // the second pass covers it.
      if (pass == 0 && !colourAt(x - offset, y - offset, second))
        Fault("shadow pixel (%d, %d) has no second-pass pixel %d up and left", x, y, offset);
      if (pass == 1 && x + offset < c.width && y + offset < c.height && !colourAt(x + offset, y + offset, first) &&
          !colourAt(x + offset, y + offset, second) && !BlendOverGradient(shot.at(c.x + x + offset, c.y + y + offset)))
        Fault("second-pass pixel (%d, %d) has no shadow %d right and below", x, y, offset);
    }
  if (firstCount == 0 || secondCount == 0) Fault("no title: %d shadow and %d second-pass pixels", firstCount, secondCount);
  if (g_faults == 0) {
    if (box[0][2] != box[1][2] + offset || box[0][3] != box[1][3] + offset)
      Fault("the shadow ends at (%d, %d), the second pass at (%d, %d)", box[0][2], box[0][3], box[1][2], box[1][3]);
    if (box[1][0] < 10 || box[1][1] < 10) Fault("the second pass starts at (%d, %d), before (10, 10)", box[1][0], box[1][1]);
  }
  printf("title: second pass %d pixels in (%d, %d)-(%d, %d); shadow %d pixels visible in (%d, %d)-(%d, %d)\n",
         secondCount, box[1][0], box[1][1], box[1][2], box[1][3], firstCount, box[0][0], box[0][1], box[0][2],
         box[0][3]);
  return g_faults == 0;
}

int Usage() {
  fprintf(stderr,
          "usage: paint_check SHOT.ppm --client X,Y,W,H [--area X,Y,W,H] gradient banded|dithered\n"
          "       paint_check SHOT.ppm --client X,Y,W,H [--area X,Y,W,H] tiles TILE.ppm\n"
          "       paint_check SHOT.ppm --client X,Y,W,H title R,G,B R,G,B [OFFSET]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || strcmp(argv[2], "--client") != 0) return Usage();
  Image shot;
  if (!ReadPpm(argv[1], &shot)) return 2;
  Client c;
  if (sscanf(argv[3], "%d,%d,%d,%d", &c.x, &c.y, &c.width, &c.height) != 4 || c.x < 0 || c.y < 0 || c.width <= 0 ||
      c.height <= 0 || c.x + c.width > shot.width || c.y + c.height > shot.height) {
    fprintf(stderr, "paint_check: the client rectangle %s does not lie inside the %d x %d screenshot\n", argv[3],
            shot.width, shot.height);
    return 2;
  }
  g_area = {0, 0, c.width, c.height};
  if (argc >= 7 && !strcmp(argv[4], "--area")) {
    int x, y, w, h;
    if (sscanf(argv[5], "%d,%d,%d,%d", &x, &y, &w, &h) != 4 || x < 0 || y < 0 || w <= 0 || h <= 0 ||
        x + w > c.width || y + h > c.height) {
      fprintf(stderr, "paint_check: the area %s does not lie inside the client area\n", argv[5]);
      return 2;
    }
    g_area = {x, y, x + w, y + h};
    argv += 2;
    argc -= 2;
  }
  std::string check = argv[4];
  bool ok;
  if (check == "gradient" && argc == 6 && !strcmp(argv[5], "banded")) {
    ok = CheckBanded(shot, c);
  } else if (check == "gradient" && argc == 6 && !strcmp(argv[5], "dithered")) {
    ok = CheckDithered(shot, c);
  } else if (check == "tiles" && argc == 6) {
    Image tile;
    if (!ReadPpm(argv[5], &tile)) return 2;
    ok = CheckTiles(shot, c, tile);
  } else if (check == "title" && (argc == 7 || argc == 8)) {
    Rgb first, second;
    if (!ParseRgb(argv[5], &first) || !ParseRgb(argv[6], &second)) return Usage();
    ok = CheckTitle(shot, c, first, second, argc == 8 ? atoi(argv[7]) : 4);
  } else {
    return Usage();
  }
  if (g_faults > 10) printf("... %d faults in all\n", g_faults);
  printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
