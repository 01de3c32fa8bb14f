// A program that is one instance: `instance_probe FOLDER [FILE | --wake W L]`. The first
// instance prints "first" and then one line per message it receives ("file:NAME",
// "wake"), and ends when handed the file "quit". A later instance hands its file or
// wake-up over, prints "delivered" or "unreached", and ends with exit code 3.
#include <cstdio>

#include <QCoreApplication>

#include "platform/SingleInstance.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) return 2;
  lumo::SingleInstance instance(args.at(1));
  auto say = [](const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
  };
  if (instance.becomeFirst()) {
    QObject::connect(&instance, &lumo::SingleInstance::fileHandedOver, [&](const QString& file) {
      say("file:" + file);
      if (file == "quit") app.quit();
    });
    QObject::connect(&instance, &lumo::SingleInstance::wakeUp, [&] { say("wake"); });
    say("first");
    return app.exec();
  }
  bool delivered = false;
  if (args.size() >= 5 && args.at(2) == "--wake")
    delivered = instance.sendWakeUp(args.at(3).toInt(), args.at(4).toInt(), 5000);
  else if (args.size() >= 3 && !args.at(2).isEmpty())
    delivered = instance.handOverFile(args.at(2), 5000);
  else
    delivered = instance.sendWakeUp(lumo::SingleInstance::kWakeUpW, lumo::SingleInstance::kWakeUpL, 5000);
  say(delivered ? "delivered" : "unreached");
  return 3;
}
