// Saves the data files over and over, alternating between two record images,
// until it is killed. The crash-safety test kills it at random moments and
// then looks at what is on disk.
//
// Usage: save_loop <appDataFolder>
// Image k (0 or 1) is every settings byte equal to 'A' + k and every
// recipients byte equal to 'a' + k. "saving" is printed once the first save
// is done.

#include "store/StoredData.h"
#include "store/DataFiles.h"
#include "store/RecordBytes.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    StoredData state;
    state.appDataFolder = QString::fromLocal8Bit(argv[1]);
    state.settingsPath = SettingsFilePath(state.appDataFolder);
    state.recipientsPath = RecipientsFilePath(state.appDataFolder);

    for (unsigned round = 0;; ++round) {
        const int k = static_cast<int>(round % 2);
        SettingsFromBytes(state.settings, QByteArray(sizeof(SettingsRecord), static_cast<char>('A' + k)));
        RecipientsFromBytes(state.recipients, QByteArray(sizeof(RecipientTable), static_cast<char>('a' + k)));
        SaveDataFiles(state);
        if (round == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
