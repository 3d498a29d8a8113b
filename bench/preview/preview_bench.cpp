// One click on a preview button, offscreen: the window made, its box cleared,
// 25 full sprites drawn (every byte non-transparent, the most work a page can
// take) and the window shown; and the second click that redraws it in place.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "data/sprite.h"
#include "ui/preview_windows.h"

namespace {

constexpr int kMonsters = 75;

karnwick::Palette makePalette() {
    karnwick::Palette palette;
    for (int i = 0; i < karnwick::kPaletteEntries; ++i) {
        palette.palColor[i] = i + (255 - i) * 256.0 + ((i * 7) & 0xFF) * 65536.0;
    }
    return palette;
}

void writeSprites() {
    QByteArray bytes(kMonsters * karnwick::kSpriteBytes, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = char(1 + i % 255);
    }
    QFile file(karnwick::kSpriteFileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write the benchmark's monster.dat");
    }
}

void BM_PreviewFirstClick(benchmark::State& state) {
    const karnwick::Palette palette = makePalette();
    PreviewWindows windows;
    for (auto _ : state) {
        windows.showPage(1, palette, kMonsters - 1, karnwick::kSpriteFileName);
        state.PauseTiming();
        windows.closeAll();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PreviewFirstClick)->Unit(benchmark::kMillisecond);

void BM_PreviewSecondClick(benchmark::State& state) {
    const karnwick::Palette palette = makePalette();
    PreviewWindows windows;
    windows.showPage(3, palette, kMonsters - 1, karnwick::kSpriteFileName);
    for (auto _ : state) {
        windows.showPage(3, palette, kMonsters - 1, karnwick::kSpriteFileName);
    }
}
BENCHMARK(BM_PreviewSecondClick)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        qFatal("cannot make the benchmark's game folder");
    }
    writeSprites();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
