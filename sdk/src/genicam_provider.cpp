#include "genicam_provider.h"

#include "genicam_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace calidra::sorvik {

namespace {

// GigE Vision bootstrap registers: what every such camera tells about itself,
// the same fields its discovery answer carries.
constexpr guint64 kManufacturerNameRegister = 0x0048;
constexpr guint64 kModelNameRegister = 0x0068;
constexpr guint64 kSerialNumberRegister = 0x00d8;
constexpr guint64 kUserDefinedNameRegister = 0x00e8;
constexpr uint16_t kGvcpPort = 3956;

bool readText(ArvDevice* device, guint64 address, guint32 length, std::string& text) {
    char buffer[64] = {};
    if (length >= sizeof buffer || !arv_device_read_memory(device, address, length, buffer, nullptr)) {
        return false;
    }
    text.assign(buffer, strnlen(buffer, length));
    return true;
}

// Our address on the way to a camera, as the kernel routes to it: connecting a UDP socket sends
// nothing. Aravis finds it by sending discovery from every interface with broadcast allowed, which
// only "discover" may do.
GObjectHandle<GInetAddress> interfaceAddressTowards(const std::string& address) {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(kGvcpPort);
    if (inet_pton(AF_INET, address.c_str(), &remote.sin_addr) != 1) {
        return {};
    }
    const int socketFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0) {
        return {};
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const bool routed = ::connect(socketFd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
                        ::getsockname(socketFd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
                        local.sin_family == AF_INET;
    ::close(socketFd);
    if (!routed) {
        return {};
    }
    return GObjectHandle<GInetAddress>(g_inet_address_new_from_bytes(
        reinterpret_cast<const guint8*>(&local.sin_addr), G_SOCKET_FAMILY_IPV4));
}

} // namespace

GenicamProvider::GenicamProvider(GenicamConfiguration configuration)
    : configuration_(std::move(configuration)) {
    for (const std::string& address : configuration_.addresses) {
        if (std::none_of(devices_.begin(), devices_.end(),
                         [&](const Device& d) { return d.address == address; })) {
            Device device;
            device.address = address;
            device.configured = true;
            devices_.push_back(std::move(device));
        }
    }
}

GenicamProvider::~GenicamProvider() {
    stop();
}

int GenicamProvider::start(ProviderEvents& events) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_ = &events;
    stopping_ = false;
    // Asking the network takes seconds when a camera does not answer: never on the caller's thread.
    worker_ = std::thread([this] { run(); });
    return SVK_OK;
}

void GenicamProvider::stop() {
    std::vector<std::weak_ptr<GenicamSession>> sessions;
    bool listing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        listing = listing_;
        sessions.swap(sessions_);
    }
    wake_.notify_all();
    {
        // A notification under way returns before this does; none starts after it.
        std::lock_guard<std::mutex> notifying(notifying_);
    }
    for (auto& weak : sessions) {
        if (auto session = weak.lock()) {
            session->close(); // a camera that does not answer is let go of in the background
        }
    }
    if (!listing && worker_.joinable()) {
        worker_.join(); // between two rounds it ends at once
    }
    dropRetired(false);
    bool settled;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        settled = retired_.empty();
    }
    auto self = weak_from_this().lock(); // none in the destructor: then it waits
    if ((listing || !settled) && self) {
        // Aravis waits out a dead camera's time-outs (seconds, not shortened by any setting): the
        // caller does not. This thread keeps the provider, and so every Aravis object, alive.
        std::thread([self = std::move(self), worker = std::move(worker_)]() mutable {
            if (worker.joinable()) {
                worker.join();
            }
            self->settle();
        }).detach();
        return;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    settle();
}

void GenicamProvider::settle() {
    dropRetired(true); // waits for cameras being let go of
    std::lock_guard<std::mutex> lock(mutex_);
    for (Device& device : devices_) {
        device.monitor.reset();
        device.interfaceAddress.reset();
        device.deviceAddress.reset();
        device.present = false;
    }
}

void GenicamProvider::wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void GenicamProvider::retire(std::shared_ptr<GenicamSession> session) {
    std::lock_guard<std::mutex> lock(mutex_);
    retired_.push_back(std::move(session));
}

void GenicamProvider::dropRetired(bool everything) {
    std::vector<std::shared_ptr<GenicamSession>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto done = std::stable_partition(retired_.begin(), retired_.end(), [&](const auto& session) {
            return !everything && !session->settled();
        });
        dropped.assign(std::make_move_iterator(done), std::make_move_iterator(retired_.end()));
        retired_.erase(done, retired_.end());
    }
    dropped.clear(); // without the lock: a session's end joins its exchange thread
}

template <typename Notification> void GenicamProvider::notify(Notification&& notification) {
    std::lock_guard<std::mutex> notifying(notifying_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return;
        }
    }
    notification();
}

void GenicamProvider::run() {
    auto nextList = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_until(lock, nextList, [this] { return stopping_ || woken_; });
            if (stopping_) {
                return;
            }
            woken_ = false;
        }
        handleLostControl();
        dropRetired(false);
        if (std::chrono::steady_clock::now() >= nextList) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_) {
                    return;
                }
                listing_ = true;
            }
            scan();
            handleLostControl();
            nextList = std::chrono::steady_clock::now() + configuration_.listPeriod;
            std::lock_guard<std::mutex> lock(mutex_);
            listing_ = false;
        }
    }
}

GenicamProvider::Probe GenicamProvider::probe(Device& device) {
    Probe result;
    if (device.monitor) {
        // A known device: one short read says whether it is still the same camera.
        if (!readText(device.monitor.get(), kSerialNumberRegister, 16, result.serial)) {
            return result;
        }
        // A camera that matched no profile may have answered before it set its vendor and model, and
        // one that comes back may be another model: those are read whole again below.
        if (result.serial == device.serial && device.present && device.profile >= 0 &&
            device.interfaceAddress && device.deviceAddress) {
            result.answered = true;
            result.vendor = device.vendor;
            result.model = device.model;
            result.userName = device.userName;
            result.interfaceAddress = GObjectHandle<GInetAddress>::share(device.interfaceAddress.get());
            result.deviceAddress = GObjectHandle<GInetAddress>::share(device.deviceAddress.get());
            return result;
        }
    } else {
        const GObjectHandle<GInetAddress> local = interfaceAddressTowards(device.address);
        const GObjectHandle<GInetAddress> remote(g_inet_address_new_from_string(device.address.c_str()));
        GError* error = nullptr;
        GObjectHandle<ArvDevice> opened(local && remote ? arv_gv_device_new(local.get(), remote.get(), &error)
                                                        : nullptr);
        g_clear_error(&error);
        if (!opened || !ARV_IS_GV_DEVICE(opened.get())) {
            return result;
        }
        // Opening took control of it; the list only reads, a session takes control when opened.
        if (arv_gv_device_is_controller(ARV_GV_DEVICE(opened.get()))) {
            arv_gv_device_leave_control(ARV_GV_DEVICE(opened.get()), nullptr);
        }
        device.monitor = std::move(opened);
    }
    ArvDevice* monitor = device.monitor.get();
    result.answered = readText(monitor, kManufacturerNameRegister, 32, result.vendor) &&
                      readText(monitor, kModelNameRegister, 32, result.model) &&
                      readText(monitor, kSerialNumberRegister, 16, result.serial) &&
                      readText(monitor, kUserDefinedNameRegister, 16, result.userName);
    GSocketAddress* local = arv_gv_device_get_interface_address(ARV_GV_DEVICE(monitor));
    GSocketAddress* remote = arv_gv_device_get_device_address(ARV_GV_DEVICE(monitor));
    if (result.answered && G_IS_INET_SOCKET_ADDRESS(local) && G_IS_INET_SOCKET_ADDRESS(remote)) {
        result.interfaceAddress = GObjectHandle<GInetAddress>::share(
            g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(local)));
        result.deviceAddress = GObjectHandle<GInetAddress>::share(
            g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(remote)));
    }
    result.answered = result.answered && result.interfaceAddress;
    return result;
}

void GenicamProvider::scan() {
    std::vector<std::string> discovered;
    if (configuration_.discover) {
        ArvInterface* interface = arv_gv_interface_get_instance();
        arv_interface_update_device_list(interface);
        for (unsigned int i = 0; i < arv_interface_get_n_devices(interface); ++i) {
            if (const char* address = arv_interface_get_device_address(interface, i)) {
                discovered.emplace_back(address);
            }
        }
    }
    std::size_t count;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::string& address : discovered) {
            if (std::none_of(devices_.begin(), devices_.end(),
                             [&](const Device& d) { return d.address == address; })) {
                Device device;
                device.address = address;
                devices_.push_back(std::move(device));
            }
        }
        count = devices_.size();
    }
    // Only this thread adds or removes devices, so the first count entries stay put while they
    // are probed without the lock; a probe touches only the entry's monitor.
    std::vector<Probe> probes(count);
    std::vector<GObjectHandle<ArvDevice>> silent;
    for (std::size_t i = 0; i < count; ++i) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                break;
            }
        }
        probes[i] = probe(devices_[i]);
        if (!probes[i].answered && devices_[i].monitor) {
            silent.push_back(std::move(devices_[i].monitor));
        }
    }
    struct Change {
        std::string address;
        uint64_t generation;
        bool appeared;
    };
    std::vector<Change> changes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < count; ++i) {
            if (stopping_) {
                continue; // cut short by the shutdown: what was not asked is not gone
            }
            Device& device = devices_[i];
            Probe& seen = probes[i];
            if (device.present && !(seen.answered && seen.serial == device.serial)) {
                device.present = false;
                changes.push_back({device.address, device.generation, false});
            }
            const int profile = seen.answered ? profileFor(seen) : -1;
            if (device.present && device.profile < 0 && seen.answered) {
                // Unmatched so far: listed as what it says it is now; once a profile matches, it is
                // found anew below.
                device.vendor = seen.vendor;
                device.model = seen.model;
                device.userName = seen.userName;
                device.present = profile < 0;
            }
            if (seen.answered && !device.present) {
                device.present = true;
                ++device.generation;
                device.vendor = seen.vendor;
                device.model = seen.model;
                device.serial = seen.serial;
                device.userName = seen.userName;
                device.profile = profile;
                std::swap(device.interfaceAddress, seen.interfaceAddress);
                std::swap(device.deviceAddress, seen.deviceAddress);
                changes.push_back({device.address, device.generation, true});
            }
        }
        // A discovered camera that neither answers nor is discovered any more is forgotten.
        devices_.erase(std::remove_if(devices_.begin(), devices_.end(),
                                      [&](const Device& device) {
                                          return !device.configured && !device.present && !device.monitor &&
                                                 std::find(discovered.begin(), discovered.end(),
                                                           device.address) == discovered.end();
                                      }),
                       devices_.end());
    }
    for (const Change& change : changes) {
        notify([&] {
            if (!change.appeared) {
                unplugSessionsOf(change.address, change.generation);
            }
            events_->deviceChecked(change.appeared ? 0 : 1);
        });
    }
    // Last: letting go of a device that stopped answering waits for its time-outs.
    silent.clear();
}

int GenicamProvider::profileFor(const Probe& seen) const {
    for (std::size_t p = 0; p < configuration_.cameras.size(); ++p) {
        if (configuration_.cameras[p].matches(seen.vendor, seen.model, seen.serial)) {
            return int(p);
        }
    }
    return -1;
}

void GenicamProvider::unplugSessionsOf(const std::string& address, uint64_t generation) {
    std::vector<std::shared_ptr<GenicamSession>> unplugged;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& weak : sessions_) {
            auto session = weak.lock();
            if (session && session->address() == address && session->generation() == generation) {
                unplugged.push_back(std::move(session));
            }
        }
    }
    for (const auto& session : unplugged) {
        session->markGone();
    }
}

void GenicamProvider::handleLostControl() {
    std::vector<std::shared_ptr<GenicamSession>> lost;
    std::size_t removed = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& weak : sessions_) {
            auto session = weak.lock();
            if (!session || !session->controlLost() || session->gone() || session->closed()) {
                continue;
            }
            // Listed as gone until it answers a later round again, which then counts as added.
            for (Device& device : devices_) {
                if (device.present && device.address == session->address() &&
                    device.generation == session->generation()) {
                    device.present = false;
                    ++removed;
                }
            }
            lost.push_back(std::move(session));
        }
    }
    notify([&] {
        for (const auto& session : lost) {
            session->markGone();
        }
        for (std::size_t i = 0; i < removed; ++i) {
            events_->deviceChecked(1);
        }
    });
}

int GenicamProvider::listCameras(std::vector<CameraListing>& cameras) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Device& device : devices_) {
        if (!device.present) {
            continue;
        }
        CameraListing listing;
        listing.label = device.userName.empty() ? device.vendor : device.userName;
        // Only a camera with a profile can be read as temperatures.
        listing.kind = device.profile >= 0 ? 2 : 0;
        listing.model = device.model;
        listing.identity = device.serial;
        listing.openKey = kOpenKeyPrefix + device.address;
        cameras.push_back(std::move(listing));
    }
    return SVK_OK;
}

int GenicamProvider::open(const std::string& openKey, std::shared_ptr<CameraSession>& session) {
    const std::string prefix = kOpenKeyPrefix;
    if (openKey.compare(0, prefix.size(), prefix) != 0) {
        return SVK_ERROR_NOT_FOUND;
    }
    const std::string address = openKey.substr(prefix.size());
    GObjectHandle<GInetAddress> interfaceAddress;
    GObjectHandle<GInetAddress> deviceAddress;
    std::shared_ptr<GenicamSession> created;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopping_) {
            return SVK_ERROR_NOT_INITIALIZED;
        }
        auto device = std::find_if(devices_.begin(), devices_.end(),
                                   [&](const Device& d) { return d.present && d.address == address; });
        if (device == devices_.end()) {
            return SVK_ERROR_NOT_FOUND;
        }
        if (device->profile < 0) {
            // No profile says how to read its pixels: told with what the camera reported, which is
            // what a profile's "match" is written from.
            const std::string told = "svkOpen: camera " + device->serial + " at " + address +
                                     ": no camera profile matches it (vendor \"" + device->vendor +
                                     "\", model \"" + device->model + "\")\n";
            lock.unlock();
            std::fputs(told.c_str(), stderr);
            return SVK_ERROR_ACCESS;
        }
        for (const auto& weak : sessions_) {
            auto live = weak.lock();
            if (live && live->address() == address && live->generation() == device->generation &&
                !live->closed()) {
                return SVK_ERROR_ACCESS; // one live session per camera
            }
        }
        interfaceAddress = GObjectHandle<GInetAddress>::share(device->interfaceAddress.get());
        deviceAddress = GObjectHandle<GInetAddress>::share(device->deviceAddress.get());
        created = std::make_shared<GenicamSession>(*this, address, device->serial, device->generation,
                                                   configuration_.cameras[std::size_t(device->profile)],
                                                   configuration_.answerWait);
    }
    const int result = created->connect(interfaceAddress.get(), deviceAddress.get());
    if (result != SVK_OK) {
        return result;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto device = std::find_if(devices_.begin(), devices_.end(), [&](const Device& d) {
            return d.present && d.address == address && d.generation == created->generation();
        });
        if (device != devices_.end() && !stopping_) {
            sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(),
                                           [](const auto& weak) { return weak.expired(); }),
                            sessions_.end());
            sessions_.push_back(created);
            session = std::move(created);
            return SVK_OK;
        }
    }
    created->close(); // it went while being opened
    return SVK_ERROR_DEVICE_GONE;
}

} // namespace calidra::sorvik
