#include "scanning/tools/ServiceChannel.h"

#include "scanning/PropertyListCheck.h"

#include <QByteArrayView>

#include <algorithm>
#include <string>

bool ServiceChannel::open(idevice_t device, lockdownd_service_descriptor_t service)
{
    service_client_t client = nullptr;
    if (service_client_new(device, service, &client) != SERVICE_E_SUCCESS || !client)
        return false;
    m_client.reset(client);
    return true;
}

bool ServiceChannel::send(plist_t message, Format format)
{
    if (!m_client)
        return false;
    char *raw = nullptr;
    uint32_t length = 0;
    if (format == Format::Binary)
        plist_to_bin(message, &raw, &length);
    else
        plist_to_xml(message, &raw, &length);
    const Owned<char *, freeMemory> xml(raw);
    if (!xml)
        return false;
    std::string framed(4, '\0');
    for (int i = 0; i < 4; ++i)
        framed[size_t(i)] = char(length >> (24 - 8 * i));
    framed.append(xml.get(), length);
    uint32_t sent = 0;
    return service_send(m_client.get(), framed.data(), uint32_t(framed.size()), &sent) ==
        SERVICE_E_SUCCESS &&
        sent == framed.size();
}

bool ServiceChannel::receiveExactly(char *data, uint32_t size, const Wait &wait, Reply &reply)
{
    using namespace std::chrono;
    while (size > 0) {
        // When the time given is for the whole answer, a device that trickles a byte at a time
        // must not stretch it.
        const auto left = wait.bound == Bound::EachSilence
            ? wait.limit.count()
            : duration_cast<milliseconds>(wait.until - steady_clock::now()).count();
        if (left <= 0) {
            reply.outcome = Outcome::Silent;
            reply.error = SERVICE_E_TIMEOUT;
            return false;
        }
        uint32_t received = 0;
        const service_error_t error =
            service_receive_with_timeout(m_client.get(), data, size, &received, unsigned(left));
        if (error == SERVICE_E_TIMEOUT || (error == SERVICE_E_SUCCESS && received == 0)) {
            reply.outcome = Outcome::Silent;
            reply.error = SERVICE_E_TIMEOUT;
            return false;
        }
        if (error != SERVICE_E_SUCCESS || received > size) {
            reply.outcome = Outcome::Closed;
            reply.error = error;
            return false;
        }
        data += received;
        size -= received;
    }
    return true;
}

ServiceChannel::Reply ServiceChannel::receive(std::chrono::milliseconds limit, Bound bound,
                                              uint32_t largest)
{
    Reply reply;
    if (!m_client)
        return reply;
    const Wait wait{limit, bound, std::chrono::steady_clock::now() + limit};
    unsigned char header[4];
    if (!receiveExactly(reinterpret_cast<char *>(header), 4, wait, reply))
        return reply;
    const uint32_t length = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 |
        uint32_t(header[2]) << 8 | header[3];
    reply.length = length;
    if (length == 0) {
        reply.outcome = Outcome::NotPlist;
        return reply;
    }
    if (length > largest) {
        reply.outcome = Outcome::TooLarge;
        return reply;
    }
    std::string payload(length, '\0');
    if (!receiveExactly(payload.data(), length, wait, reply))
        return reply;
    if (!PropertyListCheck::isAcceptable(QByteArrayView(payload.data(), qsizetype(length)))) {
        reply.outcome = Outcome::Unsafe;
        return reply;
    }
    plist_t raw = nullptr;
    if (plist_is_binary(payload.data(), length))
        plist_from_bin(payload.data(), length, &raw);
    else
        plist_from_xml(payload.data(), length, &raw);
    reply.message.reset(raw);
    reply.outcome = reply.message ? Outcome::Answered : Outcome::NotPlist;
    return reply;
}

bool ServiceChannel::skip(const Reply &tooLarge, std::chrono::milliseconds limit, uint32_t largest)
{
    if (!m_client || tooLarge.outcome != Outcome::TooLarge || tooLarge.length > largest)
        return false;
    const Wait wait{limit, Bound::WholeAnswer, std::chrono::steady_clock::now() + limit};
    std::string piece(64 * 1024, '\0');
    Reply reply;
    for (uint32_t left = tooLarge.length; left > 0;) {
        const auto size = std::min<uint32_t>(left, uint32_t(piece.size()));
        if (!receiveExactly(piece.data(), size, wait, reply))
            return false;
        left -= size;
    }
    return true;
}

ServiceChannel::Reply ServiceChannel::ask(plist_t request, std::chrono::milliseconds limit)
{
    if (!send(request))
        return {};
    return receive(limit);
}
