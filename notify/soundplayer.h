#pragma once

#include <QString>

// Plays a sound file in the background. Failures are silent: a desktop without an audio device
// must not get a message or a delay for every status change.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& filePath) = 0;
};

// The freedesktop event-sound library that desktop notification frameworks use.
class CanberraSoundPlayer : public SoundPlayer
{
public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    void play(const QString& filePath) override;

private:
    struct ca_context* m_context = nullptr;
    bool m_triedToOpen = false;
};
