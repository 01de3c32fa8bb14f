#pragma once
#include <stdexcept>

#include <QString>

namespace lumo {

// A failure reading or writing a project file, carrying the text shown to the user.
class ProjectError : public std::runtime_error {
 public:
  explicit ProjectError(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
  const QString& text() const { return text_; }

 private:
  QString text_;
};

namespace ProjectErrorText {
inline const QString kUnsupportedVersion = QStringLiteral("Unsupported IEN file version. Update software to newer version");
inline const QString kCorrupt = QStringLiteral("File stream is corrupt");
inline const QString kUnexpectedVersion = QStringLiteral("Unexpected version");
inline const QString kOwnerNotAssigned = QStringLiteral("Owner not assigned");
inline const QString kCannotCreate = QStringLiteral("Cannot create file \"%1\". %2");
inline const QString kCannotOpen = QStringLiteral("Cannot open file \"%1\". %2");
}  // namespace ProjectErrorText

}  // namespace lumo
