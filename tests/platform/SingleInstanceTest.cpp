#include <gtest/gtest.h>

#include <csignal>

#include <QProcess>
#include <QTemporaryDir>

namespace {

// The instances are real processes of the probe program, as the hand-over crosses them.
class SingleInstanceTest : public ::testing::Test {
 protected:
  QString probe() const { return QStringLiteral(LUMO_INSTANCE_PROBE); }
  std::unique_ptr<QProcess> startFirst() {
    auto p = std::make_unique<QProcess>();
    p->start(probe(), {dir_.path()});
    EXPECT_TRUE(p->waitForStarted(5000));
    EXPECT_TRUE(p->waitForReadyRead(5000));
    EXPECT_EQ(p->readLine().trimmed(), "first");
    return p;
  }
  // Runs a later instance to its end and returns what it printed.
  QByteArray runSecond(const QStringList& args) {
    QProcess p;
    p.start(probe(), QStringList{dir_.path()} + args);
    EXPECT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 3);
    return p.readAllStandardOutput().trimmed();
  }
  static QByteArray nextLine(QProcess& p) {
    if (!p.canReadLine()) p.waitForReadyRead(5000);
    return p.readLine().trimmed();
  }
  static void quit(QProcess& p, SingleInstanceTest& t) {
    EXPECT_EQ(t.runSecond({"quit"}), "delivered");
    EXPECT_TRUE(p.waitForFinished(5000));
  }
  QTemporaryDir dir_;
};

TEST_F(SingleInstanceTest, ALaterInstanceHandsItsFileOrAWakeUpToTheFirst) {
  auto first = startFirst();
  const QString name = QString::fromUtf8("/photos/\xC3\xA9t\xC3\xA9 2026.jpg");
  EXPECT_EQ(runSecond({name}), "delivered");
  EXPECT_EQ(nextLine(*first), "file:" + name.toUtf8());
  EXPECT_EQ(runSecond({}), "delivered");  // no file: wake-up
  EXPECT_EQ(nextLine(*first), "wake");
  EXPECT_EQ(runSecond({""}), "delivered");  // an empty name counts as none
  EXPECT_EQ(nextLine(*first), "wake");
  // Only the exact pair wakes the first instance; a wrong one is answered and ignored.
  EXPECT_EQ(runSecond({"--wake", "1111", "2223"}), "delivered");
  EXPECT_EQ(runSecond({"--wake", "1111", "2222"}), "delivered");
  EXPECT_EQ(nextLine(*first), "wake");
  quit(*first, *this);
}

TEST_F(SingleInstanceTest, AKilledFirstInstanceLeavesNothingBehind) {
  auto first = startFirst();
  ::kill(pid_t(first->processId()), SIGKILL);
  ASSERT_TRUE(first->waitForFinished(5000));
  auto next = startFirst();  // becomes the first instance itself
  EXPECT_EQ(runSecond({"a.png"}), "delivered");
  EXPECT_EQ(nextLine(*next), "file:a.png");
  quit(*next, *this);
}

}  // namespace
