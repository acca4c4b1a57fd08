// Preloaded by tarnix-sim usb-run into the programs it runs, beside umockdev's preload library.
//
// umockdev's preload reports the device number of an emulated device node to stat(2) of the node's path, but
// fstat(2) of an open node reports what lies underneath it in the test bed: a pseudo-terminal or a plain
// file. Here fstat reports the emulated node as a character device with the device number the test bed
// records for it, so that a program can check, as on a real system, that the node it opened is the device
// it enumerated. Every other file keeps its real status.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

typedef int (*FstatFunction)(int, struct stat*);

static FstatFunction realFstat;
static FstatFunction realFstat64;

__attribute__((constructor)) static void FindRealFunctions(void) {
    realFstat = (FstatFunction)dlsym(RTLD_NEXT, "fstat");
    realFstat64 = (FstatFunction)dlsym(RTLD_NEXT, "fstat64");
}

// readlink(2) itself: umockdev's preload redirects some paths of its own.
static int ReadLink(const char* path, char* target, size_t size) {
    const long length = syscall(SYS_readlinkat, AT_FDCWD, path, target, size - 1);
    if (length <= 0) {
        return 0;
    }
    target[length] = '\0';
    return 1;
}

// The test bed keeps "MAJOR:MINOR" as a link named after the node ("bus/usb/001/002" -> .node/bus_usb_001_002)
// or after the pseudo-terminal behind it ("/dev/pts/3" -> .ptymap/_dev_pts_3).
static int RecordedDevice(const char* root, const char* table, const char* name, dev_t* device) {
    char entry[PATH_MAX];
    const int length = snprintf(entry, sizeof entry, "%s/dev/.%s/%s", root, table, name);
    if (length < 0 || (size_t)length >= sizeof entry) {
        return 0;
    }
    for (char* character = entry + strlen(root) + strlen("/dev/.") + strlen(table) + 1; *character; ++character) {
        if (*character == '/') {
            *character = '_';
        }
    }
    char value[32];
    unsigned major = 0;
    unsigned minor = 0;
    if (!ReadLink(entry, value, sizeof value) || sscanf(value, "%u:%u", &major, &minor) != 2) {
        return 0;
    }
    *device = makedev(major, minor);
    return 1;
}

static int EmulatedDevice(int fd, dev_t* device) {
    const char* root = getenv("UMOCKDEV_DIR");
    if (root == NULL || *root == '\0') {
        return 0;
    }
    char link[64];
    char target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (!ReadLink(link, target, sizeof target)) {
        return 0;
    }
    const size_t rootLength = strlen(root);
    if (strncmp(target, "/dev/pts/", strlen("/dev/pts/")) == 0) {
        return RecordedDevice(root, "ptymap", target, device);
    }
    if (strncmp(target, root, rootLength) == 0 && strncmp(target + rootLength, "/dev/", strlen("/dev/")) == 0) {
        return RecordedDevice(root, "node", target + rootLength + strlen("/dev/"), device);
    }
    return 0;
}

static int Status(FstatFunction real, int fd, struct stat* status) {
    const int result = real != NULL ? real(fd, status) : (int)syscall(SYS_fstat, fd, status);
    dev_t device;
    if (result == 0 && (S_ISCHR(status->st_mode) || S_ISREG(status->st_mode)) && EmulatedDevice(fd, &device)) {
        status->st_mode = (status->st_mode & ~S_IFMT) | S_IFCHR;
        status->st_rdev = device;
    }
    return result;
}

int fstat(int fd, struct stat* status) { return Status(realFstat, fd, status); }

// Both have the same layout on 64-bit systems, the only ones the programs are built for.
_Static_assert(sizeof(struct stat) == sizeof(struct stat64), "struct stat64 differs from struct stat");

int fstat64(int fd, struct stat64* status) { return Status(realFstat64, fd, (struct stat*)status); }
