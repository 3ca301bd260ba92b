// Which states of the sound output end the preview's sound: only an error that stopped the
// sink, never an underrun (the sink idles and plays on when sound comes).
#include <gtest/gtest.h>

#include "AudioSinkWorker.h"

namespace vornak {
namespace {

TEST(AudioSinkWorker, OnlyAnOutputErrorThatStoppedTheSinkIsALoss) {
    struct Case {
        QAudio::State state;
        QAudio::Error error;
        bool loss;
    };
    const Case cases[] = {
        {QAudio::StoppedState, QAudio::IOError, true},
        {QAudio::StoppedState, QAudio::FatalError, true},
        {QAudio::StoppedState, QAudio::OpenError, true},
        {QAudio::StoppedState, QAudio::NoError, false},  // stopped by the preview itself
        {QAudio::StoppedState, QAudio::UnderrunError, false},
        {QAudio::IdleState, QAudio::UnderrunError, false},
        {QAudio::IdleState, QAudio::IOError, false},
        {QAudio::ActiveState, QAudio::NoError, false},
        {QAudio::SuspendedState, QAudio::NoError, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AudioSinkWorker::IsLoss(c.state, c.error), c.loss)
            << "state " << c.state << ", error " << c.error;
    }
}

}  // namespace
}  // namespace vornak
