// The arena window's two heavy user actions, offscreen: a FIGHT click playing
// the longest battle (667 turns), measured against one setPlainText of the same
// final log, and a monster choice.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "data/monster_stats.h"
#include "data/sprite.h"
#include "ui/main_window.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(bytes);
}

// Neither side can ever hurt the other: an attack value of 1 against a
// defence of 100 always misses, so every battle runs all 667 turns.
karnwick::MonsterStats makeHarmlessMonster(const std::string& name, int16_t agility) {
    karnwick::MonsterStats m;
    m.name.fill(' ');
    std::copy(name.begin(), name.end(), m.name.begin());
    m.special1.fill(' ');
    m.special2.fill(' ');
    m.hp = 30;
    m.agility = agility;
    m.offMin = 1;
    m.offMax = 1;
    m.defense = 100;
    return m;
}

// A game folder with two monsters whose sprites use every palette index, made
// the current directory, and a window loaded from it.
class ArenaFixture {
  public:
    ArenaFixture() {
        QDir::setCurrent(m_dir.path());
        QByteArray palette;
        for (int i = 0; i < 768; ++i) palette += QByteArray::number(i % 64) + "\r\n";
        writeFile(m_dir.filePath("mypal.pal"), palette);
        QByteArray sprites;
        for (int i = 0; i < 2 * karnwick::kSpriteBytes; ++i) sprites += char(i % 256);
        writeFile(m_dir.filePath("monster.dat"), sprites);
        QByteArray records;
        for (const auto& m : {makeHarmlessMonster("Slime", 3), makeHarmlessMonster("Jelly", 2)}) {
            const auto bytes = karnwick::encodeMonsterStats(m);
            records.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        }
        writeFile(m_dir.filePath("monsters.tat"), records);

        window.setErrorReporter([](const QString&) { std::abort(); });
        window.loadGameFolder(m_dir.path().toStdString());
        window.show();
        window.chooseMonster(0, 0);
        window.chooseMonster(1, 1);
    }

    QTemporaryDir m_dir;
    MainWindow window;
};

ArenaFixture& arena() {
    static ArenaFixture fixture;
    return fixture;
}

void BM_FightClickOf667Turns(benchmark::State& state) {
    ArenaFixture& fixture = arena();
    for (auto _ : state) {
        fixture.window.fightButton()->click();
        QApplication::processEvents();
    }
    state.counters["log_chars"] = double(fixture.window.arenaLog()->toPlainText().size());
}
BENCHMARK(BM_FightClickOf667Turns)->Unit(benchmark::kMillisecond);

void BM_SetPlainTextOfTheSameLog(benchmark::State& state) {
    ArenaFixture& fixture = arena();
    fixture.window.fightButton()->click();
    const QString log = fixture.window.arenaLog()->toPlainText();
    for (auto _ : state) {
        fixture.window.arenaLog()->setPlainText(log);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_SetPlainTextOfTheSameLog)->Unit(benchmark::kMillisecond);

void BM_MonsterChoice(benchmark::State& state) {
    ArenaFixture& fixture = arena();
    int position = 0;
    for (auto _ : state) {
        fixture.window.chooseMonster(0, position);
        position ^= 1;
        QApplication::processEvents();
    }
}
BENCHMARK(BM_MonsterChoice)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
