// An import gives the same bytes everywhere: its palette order does not
// depend on the C library (the program sorts as Debian's glibc does, and
// libimagequant's sort calls reach that sort), and its result does not
// depend on how many threads libimagequant's OpenMP loops run on.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QImage>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fit/palette_order.h"
#include "fit/quantizer.h"
#include "picture/canvas.h"
#include "support/photo_like.h"
#include "support/test_support.h"

namespace kws {
namespace {

// libimagequant's kind of comparison: by popularity, most popular first,
// never "equal".
template <class T>
int MostPopularFirst(const void* a, const void* b) {
  return static_cast<const T*>(a)->popularity > static_cast<const T*>(b)->popularity ? -1 : 1;
}

struct Small {
  uint16_t popularity, id;
};
struct Large {  // over 32 bytes, which glibc sorts through pointers
  uint32_t popularity, id;
  std::array<uint8_t, 40> rest;
};

using QsortFunction = void (*)(void*, size_t, size_t, int (*)(const void*, const void*));

QsortFunction GlibcQsort() { return reinterpret_cast<QsortFunction>(::dlvsym(RTLD_NEXT, "qsort", "GLIBC_2.2.5")); }

template <class T>
void ExpectTheSameOrderAsGlibc(QsortFunction glibc) {
  std::mt19937 random(7);
  for (const size_t count : {0u, 1u, 2u, 3u, 7u, 16u, 31u, 256u, 1000u}) {
    for (const uint32_t distinct : {1u, 3u, 50u}) {
      std::vector<T> ours(count);
      for (size_t i = 0; i < count; ++i) {
        ours[i] = T{};
        ours[i].popularity = static_cast<decltype(T::popularity)>(random() % distinct);
        ours[i].id = static_cast<decltype(T::id)>(i);
      }
      std::vector<T> theirs = ours;
      OrderedSort(ours.data(), ours.size(), sizeof(T), MostPopularFirst<T>);
      glibc(theirs.data(), theirs.size(), sizeof(T), MostPopularFirst<T>);
      for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(ours[i].id, theirs[i].id) << "count " << count << ", distinct " << distinct << ", at " << i;
      }
    }
  }
}

TEST(PaletteOrder, TiesComeOutAsGlibcOrdersThem) {
  const QsortFunction glibc = GlibcQsort();
  if (!glibc) GTEST_SKIP() << "not on glibc";
  ExpectTheSameOrderAsGlibc<Small>(glibc);
  ExpectTheSameOrderAsGlibc<Large>(glibc);
}

// A library's calls go to the first definition in the program's global
// scope, the program itself first: the program's qsort is the sort that
// libimagequant (loaded here, as an import loads it) reaches.
TEST(PaletteOrder, LibimagequantsSortIsTheProgramsOwn) {
  QImage picture(16, 16, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  const Quantizer quantizer(ToRgba(picture));
  void* library = ::dlopen("libimagequant.so.0", RTLD_LAZY | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr) << "the import links libimagequant";
  ::dlclose(library);
  void* const global = ::dlsym(RTLD_DEFAULT, "qsort");
  EXPECT_EQ(global, reinterpret_cast<void*>(&::qsort));
  EXPECT_NE(global, reinterpret_cast<void*>(GlibcQsort()));
}

// libgomp reads OMP_NUM_THREADS when it is loaded, so each import runs as a
// program of its own.
int ImportWithThreads(const std::string& picture, const std::string& out, int threads, const char* dither) {
  const std::string variable = "OMP_NUM_THREADS=" + std::to_string(threads);
  std::vector<std::string> args = {KWS_CLI, "--quiet", "import", "--force", "--dither", dither, picture, out};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> env = {const_cast<char*>(variable.c_str()), const_cast<char*>("QT_QPA_PLATFORM=offscreen"),
                            nullptr};
  pid_t child = 0;
  if (::posix_spawn(&child, KWS_CLI, nullptr, nullptr, argv.data(), env.data()) != 0) return -1;
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SameBytes : public test::ScratchDirTest {};

TEST_F(SameBytes, AnImportDoesNotDependOnTheNumberOfThreads) {
  QImage flat(400, 300, QImage::Format_RGB32);
  flat.fill(QColor(30, 60, 200));
  const struct {
    const char* name;
    QImage picture;
  } cases[] = {
      {"grainy photo", MakePhotoLike({.width = 1024, .height = 768, .grain = 6.0, .seed = 3})},
      {"smooth photo", MakePhotoLike({.grain = 1.0, .seed = 4})},
      {"flat logo", flat},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(c.picture.save(QString::fromStdString(Path("in.png"))));
    // Every kind of dithering: the dither map is libimagequant's too.
    for (const char* dither : {"auto", "seen", "selective", "none"}) {
      SCOPED_TRACE(std::string(c.name) + ", --dither " + dither);
      ASSERT_EQ(ImportWithThreads(Path("in.png"), Path("one.bmp"), 1, dither), 0);
      const test::Bytes one = test::ReadBytes(Path("one.bmp"));
      for (const int threads : {2, 5}) {
        const std::string out = Path(std::to_string(threads) + ".bmp");
        ASSERT_EQ(ImportWithThreads(Path("in.png"), out, threads, dither), 0);
        EXPECT_EQ(test::ReadBytes(out), one) << threads << " threads";
      }
    }
  }
}

}  // namespace
}  // namespace kws
