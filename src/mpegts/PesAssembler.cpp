#include "PesAssembler.h"

#include "PesHeader.h"

namespace vornak {

PesAssembler::PesAssembler(DemuxStatistics& statistics, std::size_t limit)
    : m_statistics(statistics), m_limit(limit) {}

void PesAssembler::Reset() {
    m_buffer.clear();
    m_bGathering = false;
    m_lastCounter.reset();
}

bool PesAssembler::FollowsOn(const TransportPacket& packet) const {
    if (!m_lastCounter || packet.discontinuity_indicator()) {
        return true;
    }
    const auto expected =
        static_cast<std::uint8_t>((*m_lastCounter + 1) % TransportPacket::kContinuityModulo);
    return packet.continuity_counter() == expected;
}

void PesAssembler::Push(const TransportPacket& packet, const PayloadSink& sink) {
    if (!packet.has_payload()) {
        return;  // the counter only advances with a payload
    }
    if (m_lastCounter && packet.continuity_counter() == *m_lastCounter &&
        !packet.discontinuity_indicator()) {
        return;  // a repeated packet, which the standard allows once
    }
    if (!FollowsOn(packet)) {
        m_statistics.continuityBreaks.fetch_add(1, std::memory_order_relaxed);
        Discard();
    }
    m_lastCounter = packet.continuity_counter();

    if (packet.payload_unit_start_indicator()) {
        if (m_bGathering) {
            Emit(sink);
        }
        m_buffer.clear();
        m_bGathering = true;
    } else if (!m_bGathering) {
        return;  // the middle of a PES whose start was lost
    }

    const std::span<const std::uint8_t> payload = packet.payload();
    if (m_buffer.size() + payload.size() > m_limit) {
        m_statistics.damagedPes.fetch_add(1, std::memory_order_relaxed);
        Discard();
        return;
    }
    m_buffer.insert(m_buffer.end(), payload.begin(), payload.end());

    // A PES that gives its length is complete as soon as the bytes are in.
    const std::optional<PesHeader> header = PesHeader::Parse(m_buffer);
    if (header && header->PacketLength() != 0 &&
        m_buffer.size() >= PesHeader::kFixedSize + header->PacketLength()) {
        Emit(sink);
    }
}

void PesAssembler::Finish(const PayloadSink& sink) {
    if (m_bGathering) {
        Emit(sink);
    }
}

void PesAssembler::Discard() {
    m_buffer.clear();
    m_bGathering = false;
}

void PesAssembler::Emit(const PayloadSink& sink) {
    const std::optional<PesHeader> header = PesHeader::Parse(m_buffer);
    std::size_t end = m_buffer.size();
    bool complete = header.has_value();
    if (header && header->PacketLength() != 0) {
        const std::size_t declared = PesHeader::kFixedSize + header->PacketLength();
        complete = declared <= end;
        end = declared;  // what follows within the last packet is not part of this PES
    }
    if (!complete) {
        m_statistics.damagedPes.fetch_add(1, std::memory_order_relaxed);
        Discard();
        return;
    }
    const std::size_t offset = header->PayloadOffset();
    PesPayload payload;
    payload.data = std::span<const std::uint8_t>(m_buffer).subspan(offset, end - offset);
    payload.pts = header->Pts();
    m_bGathering = false;
    if (!payload.data.empty()) {
        sink(payload);
    }
    m_buffer.clear();
}

}  // namespace vornak
