#include "FuzzInput.h"

#include "message/ClockTexts.h"
#include "message/RenderMessage.h"
#include "store/RecordBytes.h"
#include "store/StoredData.h"

#include <QTemporaryDir>

// The caller's fields and the message from the input; the settings and the
// recipients from the same bytes read as data files; text and HTML mode.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir folder;
    const QStringList f = FuzzFields(data, size, 5);
    MessageFormInputs inputs;
    inputs.callerName = f[0];
    inputs.callerCompany = f[1];
    inputs.callerPhone = f[2];
    inputs.callerEmail = f[3];
    inputs.messageText = f[4];
    for (std::size_t i = 0; i < inputs.recipientTicked.size(); ++i)
        inputs.recipientTicked[i] = size > i && (data[i] & 1);
    for (int id = 0; id <= Phrase::Custom2; ++id) {
        if (size > std::size_t(id) && (data[std::size_t(id)] & 2))
            inputs.tickedPhrases.insert(static_cast<Phrase::Id>(id));
    }
    StoredData stored;
    stored.appDataFolder = folder.path();
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    SettingsFromBytes(stored.settings, bytes);
    RecipientsFromBytes(stored.recipients, bytes);
    const ClockTexts clock = MakeClockTexts(QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC), QLocale::c());
    for (const int html : {0, 1}) {
        stored.activeSendAsHtml = html;
        RenderMessage(inputs, clock, stored);
    }
    return 0;
}
