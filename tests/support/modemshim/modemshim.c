/* A test shim that gives pseudo-terminals modem lines. It answers TIOCMGET, TIOCMBIS,
 * TIOCMBIC and TIOCMSET for pseudo-terminal slaves (which the kernel refuses with ENOTTY)
 * and wires the pairs named in MODEMSHIM_PAIRS ("/dev/pts/3=/dev/pts/4,...") as null modems:
 * one end's RTS is the other's CTS, its DTR the other's DSR and DCD. A slave drives DTR and
 * RTS high until it changes them; that state lasts as long as the process, and pty numbers
 * are reused, so a test sets the lines it relies on. Loaded with LD_PRELOAD, or linked into a test executable,
 * whose own definition then takes the place of the C library's. Every other request passes
 * through unchanged, and so does every request while MODEMSHIM_OFF is set (read on every
 * call), so that a test linked with the shim can also see pseudo-terminals as they are.
 * A slave whose master has closed is left failing with EIO, as a vanished device fails. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

#define MAX_LINES 64

struct line {
    dev_t device;
    int outputs; /* TIOCM_DTR | TIOCM_RTS */
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct line lines[MAX_LINES];
static int line_count;

static ioctl_fn real_ioctl(void)
{
    static ioctl_fn real;
    if (!real)
        real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    return real;
}

/* Unix98 pseudo-terminal slaves have majors 136 to 143. */
static int pty_slave(int fd, dev_t* device)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    if (major(st.st_rdev) < 136 || major(st.st_rdev) > 143)
        return 0;
    *device = st.st_rdev;
    return 1;
}

static struct line* find_line(dev_t device)
{
    for (int i = 0; i < line_count; ++i)
        if (lines[i].device == device)
            return &lines[i];
    if (line_count == MAX_LINES)
        return NULL;
    lines[line_count].device = device;
    lines[line_count].outputs = TIOCM_DTR | TIOCM_RTS;
    return &lines[line_count++];
}

static int device_of(const char* path, size_t length, dev_t* device)
{
    char name[256];
    struct stat st;
    if (length == 0 || length >= sizeof name)
        return 0;
    memcpy(name, path, length);
    name[length] = 0;
    if (stat(name, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    *device = st.st_rdev;
    return 1;
}

/* The far end of a device in MODEMSHIM_PAIRS, read anew on every call so a test may set it
 * after it has made its pairs. */
static int peer_of(dev_t device, dev_t* peer)
{
    const char* pairs = getenv("MODEMSHIM_PAIRS");
    while (pairs && *pairs) {
        const char* end = strchr(pairs, ',');
        const size_t length = end ? (size_t)(end - pairs) : strlen(pairs);
        const char* eq = memchr(pairs, '=', length);
        dev_t a, b;
        if (eq && device_of(pairs, (size_t)(eq - pairs), &a) &&
            device_of(eq + 1, length - (size_t)(eq - pairs) - 1, &b)) {
            if (a == device) { *peer = b; return 1; }
            if (b == device) { *peer = a; return 1; }
        }
        pairs = end ? end + 1 : NULL;
    }
    return 0;
}

static int modem_request(dev_t device, unsigned long request, int* arg)
{
    pthread_mutex_lock(&lock);
    struct line* own = find_line(device);
    if (!own) {
        pthread_mutex_unlock(&lock);
        errno = ENOMEM;
        return -1;
    }
    const int settable = TIOCM_DTR | TIOCM_RTS;
    switch (request) {
    case TIOCMGET: {
        int value = own->outputs;
        dev_t far;
        if (peer_of(device, &far)) {
            struct line* other = find_line(far);
            if (other && (other->outputs & TIOCM_RTS))
                value |= TIOCM_CTS;
            if (other && (other->outputs & TIOCM_DTR))
                value |= TIOCM_DSR | TIOCM_CAR;
        }
        *arg = value;
        break;
    }
    case TIOCMBIS: own->outputs |= *arg & settable; break;
    case TIOCMBIC: own->outputs &= ~(*arg & settable); break;
    default: own->outputs = *arg & settable; break; /* TIOCMSET */
    }
    pthread_mutex_unlock(&lock);
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);

    dev_t device;
    if ((request == TIOCMGET || request == TIOCMBIS || request == TIOCMBIC ||
         request == TIOCMSET) &&
        arg && !getenv("MODEMSHIM_OFF") && pty_slave(fd, &device)) {
        /* The kernel is asked first: a slave whose master has gone is hung up and fails every
         * request with EIO, as a device that was pulled out does, and so it stays; only the
         * refusal of a live pseudo-terminal (it has no modem lines) is answered here. */
        const int saved = errno;
        int probe = 0;
        if (real_ioctl()(fd, TIOCMGET, &probe) != 0 && errno == EIO)
            return -1;
        errno = saved;
        return modem_request(device, request, (int*)arg);
    }
    return real_ioctl()(fd, request, arg);
}
