// The capture session with fake camcorders, detected as the page's timer does it at its first
// tick: shared by the session's tests on detection, file runs and losses.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CaptureSession.h"
#include "FakeCamcorder.h"
#include "RecordingView.h"

namespace vornak::test {

inline FakeDevice Camcorder(std::string vendor, std::string model, FakeCamcorderFaces faces = {}) {
    return FakeDevice{
        test::CamcorderClassText(), std::move(vendor), std::move(model), true, false, faces};
}

class CaptureSessionTest : public ::testing::Test {
  protected:
    // Detection as the page's timer does it at its first tick.
    void Detect(std::vector<FakeDevice> devices) {
        m_source = std::make_shared<FakeDeviceSource>(std::move(devices));
        m_sources.reset();  // it puts back none when it goes
        m_sources = std::make_unique<test::ScopedDeviceSources>(
            std::vector<std::shared_ptr<IDeviceSource>>{m_source});
        m_session.TimerSteps(0);
    }
    FakeCamcorder* Bound() const {
        const auto bound = m_source->Bound();
        return bound.empty() ? nullptr : bound.back();
    }

    test::RecordingView m_view;
    CaptureSession m_session{&m_view, &m_view, &m_view};
    std::shared_ptr<FakeDeviceSource> m_source;
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
};

}  // namespace vornak::test
