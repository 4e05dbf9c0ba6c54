#include "notify/soundplayer.h"

#include <QFile>

#include <alsa/asoundlib.h>
#include <canberra.h>

namespace {

// libasound reports a machine without a sound device on stderr, line after line; a monitor on
// such a machine is silent instead.
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...)
{ }

} // namespace

CanberraSoundPlayer::CanberraSoundPlayer() = default;

CanberraSoundPlayer::~CanberraSoundPlayer()
{
    if (m_context)
        ca_context_destroy(m_context);
}

void CanberraSoundPlayer::play(const QString& filePath)
{
    // Opened on the first sound, once: a machine without a sound server or device keeps failing
    // in the same way, and each status change must not pay for finding that out again.
    if (!m_triedToOpen) {
        m_triedToOpen = true;
        snd_lib_error_set_handler(ignoreAlsaError);
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            m_context = nullptr;
            return;
        }
        ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Tarvix", nullptr);
        if (ca_context_open(m_context) != CA_SUCCESS) {
            ca_context_destroy(m_context);
            m_context = nullptr;
        }
    }
    if (!m_context)
        return;

    // Returns at once; the sound plays in the background, and a missing device or file is ignored.
    const QByteArray path = QFile::encodeName(filePath);
    ca_context_play(m_context, 0, CA_PROP_MEDIA_FILENAME, path.constData(), nullptr);
}
