// Saves its second argument into the file named by its first, as KDE's editors save: through
// QSaveFile, which writes a new file and renames it over the old one.

#include <QSaveFile>

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(argv[2]);
    return file.commit() ? 0 : 1;
}
