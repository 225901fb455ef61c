#include "device/win32/feature_transfer.h"

#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <vector>
#include <winioctl.h>
// hidclass.h needs winioctl.h first.
#include <hidclass.h>

namespace merovane {
namespace {

// How long a cancelled request may take to complete before it is left to
// complete on its own.
constexpr ::DWORD CancelGraceMs = 100;

struct Request {
    ::OVERLAPPED overlapped{};
    std::vector<::BYTE> buffer;

    Request() = default;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() {
        if (overlapped.hEvent != nullptr)
            ::CloseHandle(overlapped.hEvent);
    }
};

// Requests cancelled but not yet completed: kept until the system is done
// with them. Made once and never destroyed, so that none is freed at exit
// while the system may still complete it.
struct Abandoned {
    std::mutex mutex;
    std::list<std::unique_ptr<Request>> requests;
};

Abandoned& AbandonedRequests() {
    static Abandoned* const abandoned = new Abandoned;
    return *abandoned;
}

void FreeCompleted() {
    Abandoned& abandoned = AbandonedRequests();
    const std::lock_guard lock(abandoned.mutex);
    abandoned.requests.remove_if([](const std::unique_ptr<Request>& request) {
        return HasOverlappedIoCompleted(&request->overlapped);
    });
}

void Abandon(std::unique_ptr<Request> request) {
    Abandoned& abandoned = AbandonedRequests();
    const std::lock_guard lock(abandoned.mutex);
    abandoned.requests.push_back(std::move(request));
}

FeatureTransferOutcome Transfer(::HANDLE file, ::DWORD code, const void* report, ::DWORD length,
                                void* answer) {
    FreeCompleted();
    auto request = std::make_unique<Request>();
    request->overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (request->overlapped.hEvent == nullptr)
        return FeatureTransferOutcome::Failed;
    const ::ULONGLONG start = ::GetTickCount64();
    const auto boundMs = static_cast<::DWORD>(FeatureTransferBound.count());
    // A failure that came only after the bound is the driver giving up on a
    // device that did not answer (Wine's HID bus makes the request inside the
    // call and fails it when the kernel gives up); any other keeps the
    // system's reason over the request's release.
    const auto failed = [&request, start, boundMs] {
        const ::DWORD error = ::GetLastError();
        request.reset();
        if (::GetTickCount64() - start >= boundMs)
            return FeatureTransferOutcome::TimedOut;
        ::SetLastError(error);
        return FeatureTransferOutcome::Failed;
    };
    const auto* bytes = static_cast<const ::BYTE*>(report);
    request->buffer.assign(bytes, bytes + length);
    ::DWORD got = 0;
    ::BOOL done = ::DeviceIoControl(file, code, request->buffer.data(), length,
                                    answer != nullptr ? request->buffer.data() : nullptr,
                                    answer != nullptr ? length : 0, &got, &request->overlapped);
    if (!done && ::GetLastError() != ERROR_IO_PENDING)
        return failed();
    if (!done) {
        if (::WaitForSingleObject(request->overlapped.hEvent, boundMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(file, &request->overlapped);
            if (::WaitForSingleObject(request->overlapped.hEvent, CancelGraceMs) != WAIT_OBJECT_0) {
                Abandon(std::move(request));
                return FeatureTransferOutcome::TimedOut;
            }
        }
        // Completed, answered or cancelled: an answer that came just in time counts.
        done = ::GetOverlappedResult(file, &request->overlapped, &got, FALSE);
        if (!done && ::GetLastError() == ERROR_OPERATION_ABORTED)
            return FeatureTransferOutcome::TimedOut;
        if (!done)
            return failed();
    }
    if (answer != nullptr)
        std::memcpy(answer, request->buffer.data(), length);
    return FeatureTransferOutcome::Done;
}

} // namespace

FeatureTransferOutcome GetFeatureBounded(::HANDLE overlappedFile, void* report, ::DWORD length) {
    return Transfer(overlappedFile, IOCTL_HID_GET_FEATURE, report, length, report);
}

FeatureTransferOutcome SetFeatureBounded(::HANDLE overlappedFile, const void* report,
                                         ::DWORD length) {
    return Transfer(overlappedFile, IOCTL_HID_SET_FEATURE, report, length, nullptr);
}

} // namespace merovane
