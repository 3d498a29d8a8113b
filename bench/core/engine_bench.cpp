// Speed of the engine: battles with and without their log, and sprite drawing.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "battle/battle.h"
#include "data/preview_page.h"
#include "data/sprite.h"

using namespace karnwick;

namespace {

template <std::size_t N>
void setField(std::array<char, N>& field, std::string_view text) {
    field.fill(' ');
    std::copy(text.begin(), text.begin() + std::min(text.size(), N), field.begin());
}

// Two monsters that never hurt each other: every battle runs the full 667 turns.
Fighters walls() {
    Fighters f{};
    setField(f[0].name, "Stone Wall");
    setField(f[1].name, "Iron Gate");
    for (auto& s : f) s.strength = -100, s.offMin = 1, s.offMax = 1, s.defense = 50;
    return f;
}

// A typical pairing: a few special attacks, battles of about ten turns.
Fighters skirmishers() {
    Fighters f{};
    setField(f[0].name, "Goblin");
    setField(f[0].special1, "Bite");
    setField(f[0].special2, "Club Smash");
    f[0].level = 5, f[0].agility = 12, f[0].strength = 20;
    f[0].sp1Threshold = 20, f[0].sp2Threshold = 35;
    f[0].offMin = 4, f[0].offMax = 9, f[0].sp1Min = 8, f[0].sp1Max = 14, f[0].sp2Min = 6;
    f[0].sp2Max = 12, f[0].defense = 3;
    setField(f[1].name, "Ice Wraith");
    setField(f[1].special2, "Blizzard");
    f[1].level = 10, f[1].agility = 9, f[1].strength = 10;
    f[1].sp1Threshold = 30, f[1].sp2Threshold = 50, f[1].offMin = 3, f[1].offMax = 8;
    f[1].sp2Min = 9, f[1].sp2Max = 18, f[1].defense = 6, f[1].mpower = 25, f[1].magicFlag = 1;
    return f;
}

void logBattles(benchmark::State& state, const Fighters& fighters) {
    Pcg32 random;
    const StartingTexts start{{"40", "40"}, {"12", "9"}};
    BattleLog log;
    long long turns = 0;
    BattleState battle;
    for (auto _ : state) {
        runBattle(start, fighters, random, log, battle);
        turns += battle.turnCount;
        benchmark::DoNotOptimize(log.text.data());
    }
    state.counters["turns/s"] =
        benchmark::Counter(static_cast<double>(turns), benchmark::Counter::kIsRate);
    state.counters["log bytes"] = static_cast<double>(log.text.size());
}

void BM_BattleOf667TurnsWithLog(benchmark::State& state) {
    logBattles(state, walls());
}
BENCHMARK(BM_BattleOf667TurnsWithLog)->Unit(benchmark::kMicrosecond);

void BM_TypicalBattleWithLog(benchmark::State& state) {
    logBattles(state, skirmishers());
}
BENCHMARK(BM_TypicalBattleWithLog)->Unit(benchmark::kMicrosecond);

void BM_SilentBattles(benchmark::State& state) {
    const Fighters fighters = state.range(0) ? walls() : skirmishers();
    Pcg32 random;
    const std::array<std::string, 2> hp{"40", "40"}, agility{"12", "9"};
    long long turns = 0;
    for (auto _ : state) {
        const BattleState battle = playSilentBattle(hp, agility, fighters, random);
        turns += battle.turnCount;
    }
    state.counters["turns/s"] =
        benchmark::Counter(static_cast<double>(turns), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SilentBattles)->Arg(0)->Arg(1)->ArgName("longest");

// A plain 32-bit pixel buffer, as an image in memory would be.
struct MemorySurface : DrawingSurface {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(501 * 533);
    void clear() override { std::fill(pixels.begin(), pixels.end(), 0xFFF0F0F0u); }
    void setPoint(float x, float y, int32_t colour) override {
        const int px = static_cast<int>(x), py = static_cast<int>(y);
        if (px >= 0 && px < 501 && py >= 0 && py < 533)
            pixels[static_cast<std::size_t>(py) * 501 + px] = packedToArgb(colour);
    }
};

void BM_Draw25Sprites(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "karnwick-bench-sprites";
    std::filesystem::create_directories(dir);
    const auto file = dir / "monster.dat";
    {
        std::vector<char> bytes(25 * kSpriteBytes);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7) % 251);
        std::ofstream(file, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    Palette palette;
    for (int i = 0; i < 256; ++i) palette.palColor[i] = i * 65793.0;
    MemorySurface surface;
    for (auto _ : state) {
        surface.clear();
        drawPreviewPage(1, 24, palette, surface, file);
        benchmark::DoNotOptimize(surface.pixels.data());
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Draw25Sprites)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
