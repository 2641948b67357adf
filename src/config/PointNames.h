#pragma once
// Names the operator gives to a board's inputs and outputs ("Door sensor"), kept in an INI file
// beside the settings file: one section per card number ("[Card3]"), one key per named point
// ("In5=Door sensor", "Out12=Conveyor lamp"). Lines the program does not know are kept when it
// writes the file, and every write replaces the file atomically. QtCore only.

#include "device/LiveBits.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

constexpr int kNamedPoints = 64; // per direction and board

// The names of one board: [direction][point], empty where a point has none.
struct CardNames
{
    std::array<std::array<QString, kNamedPoints>, 2> names;

    QString &at(PointDir dir, int point) { return names[int(dir)][point]; }
    const QString &at(PointDir dir, int point) const { return names[int(dir)][point]; }
    bool isEmpty() const;
    bool operator==(const CardNames &other) const { return names == other.names; }
};

// "Input 5" or "Output 12", followed by ", <name>" when the point has a name.
QString PointLabel(PointDir dir, int point, const QString &name = {});
// "card1_in5": the point's fixed identifier, used where a name is missing.
QString PointKey(int32_t card, PointDir dir, int point);
// "in" or "out".
QString DirText(PointDir dir);
// A name as it is stored: control characters become blanks, blanks at either end are dropped.
QString CleanName(const QString &name);

// Why a board's names cannot all be used, or empty when they can: a name that is a number
// (a number given for a point means the point of that number) or a name that two points share,
// compared without case (only the first could be found by its name).
QString NamesProblem(const CardNames &names);

// The names in a names file's text, by card number.
QHash<int32_t, CardNames> ParseNames(const QByteArray &text);
// The file's text with the point names of `card` replaced by `names`; every other line kept.
QByteArray WithCardNames(const QByteArray &text, int32_t card, const CardNames &names);

// `current` with every point whose name `edited` changed against `base` set to the edited name.
CardNames MergedNames(const CardNames &current, const CardNames &base, const CardNames &edited);

class PointNames : public QObject
{
    Q_OBJECT

public:
    // The names file beside the settings file at `settingsPath`.
    static QString PathBeside(const QString &settingsPath);

    // Reads the file; a missing, unreadable or oversized file gives no names.
    void Load(const QString &path);
    QString path() const { return m_path; }
    // Why the file the last Load() found could not be read ("it is not a regular file"); empty
    // when it was read or is missing.
    QString loadError() const { return m_loadError; }

    QString Name(int32_t card, PointDir dir, int point) const;
    CardNames Card(int32_t card) const { return m_cards.value(card); }
    bool isEmpty() const { return m_cards.isEmpty(); }

    // Writes the names of one card into the file atomically, under a lock on its folder: the
    // points whose names differ from Card(card) take the given names, every other point keeps
    // the name the file has at that moment. On success the names are in use and changed() is
    // emitted; on failure (a lock held for seconds by another program among them) nothing
    // changes and `error` says why.
    bool SaveCard(int32_t card, const CardNames &names, QString *error = nullptr);

    // The point of `card` named `name` (compared without case and surrounding blanks), an
    // input before an output of the same name; with `only`, a point of that direction alone.
    bool Find(int32_t card, const QString &name, PointDir *dir, int *point,
              std::optional<PointDir> only = {}) const;

signals:
    void changed();

private:
    QString m_path;
    QString m_loadError;
    QHash<int32_t, CardNames> m_cards;
};
