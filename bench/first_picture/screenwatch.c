/* Starts a viewer and watches the X screen for the bench pictures' marker.
 *
 *   screenwatch first TIMEOUT_MS -- COMMAND [ARGS...]
 *       time from fork to the magenta marker square on screen, then the viewer's peak RSS
 *   screenwatch play FRAMES WINDOW_S TIMEOUT_MS -- COMMAND [ARGS...]
 *       frames shown per second, CPU seconds per second and peak RSS over WINDOW_S seconds
 *       that start when the animation's frame code first wraps (the end of the first loop)
 *
 * The bench pictures carry a magenta square over the middle quarter of their width and height
 * and, below it, eight black or white cells: seven bits of the frame number (most significant
 * first) and an even-parity bit. The viewer may scale and place the picture anywhere, so the
 * screen is searched on a coarse grid; rows are fetched with pipelined GetImage requests, one
 * round trip per scan. One line of key=value results goes to stdout. */
#define _POSIX_C_SOURCE 200809L
#include <xcb/xcb.h>

#include <errno.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { kGrid = 24, kMaxRows = 512, kCells = 8 };

typedef struct Screen {
    xcb_connection_t* conn;
    xcb_window_t root;
    int width, height;
} Screen;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

static void sleep_ms(double ms)
{
    struct timespec t = {(time_t)(ms / 1e3), (long)((ms - (double)(time_t)(ms / 1e3) * 1e3) * 1e6)};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

/* Xvfb's 24-bit screens hold pixels as 32-bit little-endian words 0x00RRGGBB. */
static void rgb_at(const uint8_t* row, int x, int* r, int* g, int* b)
{
    *b = row[4 * x];
    *g = row[4 * x + 1];
    *r = row[4 * x + 2];
}

static int is_marker(const uint8_t* row, int x)
{
    int r, g, b;
    rgb_at(row, x, &r, &g, &b);
    return r > 190 && b > 190 && g < 70;
}

static int open_screen(Screen* s)
{
    int number = 0;
    s->conn = xcb_connect(NULL, &number);
    if (xcb_connection_has_error(s->conn)) {
        fprintf(stderr, "screenwatch: cannot open the display\n");
        return 0;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(s->conn));
    for (int i = 0; i < number; ++i)
        xcb_screen_next(&it);
    s->root = it.data->root;
    s->width = it.data->width_in_pixels;
    s->height = it.data->height_in_pixels;
    if (it.data->root_depth != 24 && it.data->root_depth != 32) {
        fprintf(stderr, "screenwatch: needs a 24- or 32-bit screen\n");
        return 0;
    }
    return 1;
}

/* One rectangle of the root window; the reply is the caller's to free. */
static xcb_get_image_reply_t* grab(const Screen* s, int x, int y, int w, int h)
{
    xcb_get_image_cookie_t c = xcb_get_image(s->conn, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, (int16_t)x, (int16_t)y,
                                             (uint16_t)w, (uint16_t)h, ~0u);
    return xcb_get_image_reply(s->conn, c, NULL);
}

/* Scans every kGrid-th pixel of every kGrid-th row; returns the number of marker hits and the
 * first one. */
static int scan(const Screen* s, int* hit_x, int* hit_y)
{
    xcb_get_image_cookie_t cookies[kMaxRows];
    int rows = 0;
    for (int y = kGrid / 2; y < s->height && rows < kMaxRows; y += kGrid)
        cookies[rows++] = xcb_get_image(s->conn, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, 0, (int16_t)y,
                                        (uint16_t)s->width, 1, ~0u);
    int hits = 0;
    for (int i = 0; i < rows; ++i) {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(s->conn, cookies[i], NULL);
        if (!reply)
            continue;
        const uint8_t* row = xcb_get_image_data(reply);
        for (int x = kGrid / 2; x < s->width; x += kGrid) {
            if (is_marker(row, x)) {
                if (hits++ == 0) {
                    *hit_x = x;
                    *hit_y = kGrid / 2 + i * kGrid;
                }
            }
        }
        free(reply);
    }
    return hits;
}

/* The run of marker pixels through (x, y) along a row (horizontal) or a column. */
static int marker_run(const Screen* s, int x, int y, int horizontal, int* first, int* last)
{
    const int n = horizontal ? s->width : s->height;
    xcb_get_image_reply_t* reply = horizontal ? grab(s, 0, y, s->width, 1) : grab(s, x, 0, 1, s->height);
    if (!reply)
        return 0;
    const uint8_t* px = xcb_get_image_data(reply);
    const int at = horizontal ? x : y;
    int a = at, b = at;
    while (a > 0 && is_marker(px, a - 1))
        --a;
    while (b + 1 < n && is_marker(px, b + 1))
        ++b;
    free(reply);
    *first = a;
    *last = b;
    return 1;
}

static long proc_status_kib(pid_t pid, const char* key)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* f = fopen(path, "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const size_t keylen = strlen(key);
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, key, keylen) == 0 && line[keylen] == ':') {
            value = strtol(line + keylen + 1, NULL, 10);
            break;
        }
    }
    fclose(f);
    return value;
}

/* utime + stime of the whole process, all threads, in seconds. */
static double proc_cpu_s(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* f = fopen(path, "r");
    if (!f)
        return -1;
    char buf[1024];
    const size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = '\0';
    const char* p = strrchr(buf, ')'); /* the command name may hold spaces */
    if (!p)
        return -1;
    unsigned long utime = 0, stime = 0;
    /* Fields after the name: state(3) ... utime(14) stime(15). */
    if (sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

static pid_t start(char** argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (!freopen("/dev/null", "w", stdout))
            _exit(127);
        execvp(argv[0], argv);
        fprintf(stderr, "screenwatch: cannot start %s\n", argv[0]);
        _exit(127);
    }
    return pid;
}

static void stop(pid_t pid)
{
    kill(-pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, NULL, WNOHANG) == pid)
            return;
        sleep_ms(10);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, NULL, 0);
}

static int exited(pid_t pid)
{
    return waitpid(pid, NULL, WNOHANG) == pid;
}

/* Waits until no marker is left on screen from an earlier run. */
static int screen_clear(const Screen* s)
{
    int x, y;
    for (int i = 0; i < 300; ++i) {
        if (scan(s, &x, &y) == 0)
            return 1;
        sleep_ms(10);
    }
    fprintf(stderr, "screenwatch: a marker is already on screen\n");
    return 0;
}

/* Polls until the marker shows; returns the time from fork in ms, or -1. */
static double wait_marker(const Screen* s, pid_t pid, double t0, double timeout_ms, int* hx, int* hy)
{
    while (now_ms() - t0 < timeout_ms) {
        if (scan(s, hx, hy) >= 2)
            return now_ms() - t0;
        if (exited(pid))
            return -2;
        sleep_ms(1);
    }
    return -1;
}

static int run_first(const Screen* s, double timeout_ms, char** argv)
{
    if (!screen_clear(s))
        return 1;
    const double t0 = now_ms();
    const pid_t pid = start(argv);
    int hx = 0, hy = 0;
    const double ms = wait_marker(s, pid, t0, timeout_ms, &hx, &hy);
    if (ms < 0) {
        printf("first_ms=NA reason=%s\n", ms == -2 ? "exited" : "timeout");
        if (ms != -2)
            stop(pid);
        return 0;
    }
    sleep_ms(500); /* let the viewer settle before its peak memory is read */
    const long rss = proc_status_kib(pid, "VmHWM");
    stop(pid);
    printf("first_ms=%.1f rss_kib=%ld at=%d,%d\n", ms, rss, hx, hy);
    return 0;
}

/* Reads the frame code; -1 when the parity does not hold (a cell mid-change or misread). */
static int read_code(const Screen* s, const int* cx, int cy)
{
    xcb_get_image_reply_t* reply = grab(s, cx[0], cy, cx[kCells - 1] - cx[0] + 1, 1);
    if (!reply)
        return -1;
    const uint8_t* row = xcb_get_image_data(reply);
    int value = 0, ones = 0;
    for (int i = 0; i < kCells; ++i) {
        int r, g, b;
        rgb_at(row, cx[i] - cx[0], &r, &g, &b);
        const int bit = r + g + b > 3 * 128;
        ones += bit;
        if (i < kCells - 1)
            value = value * 2 + bit;
    }
    free(reply);
    return ones % 2 == 0 ? value : -1;
}

static int run_play(const Screen* s, int frames, double window_s, double timeout_ms, char** argv)
{
    if (!screen_clear(s))
        return 1;
    const double t0 = now_ms();
    const pid_t pid = start(argv);
    int hx = 0, hy = 0;
    const double first = wait_marker(s, pid, t0, timeout_ms, &hx, &hy);
    if (first < 0) {
        printf("first_ms=NA reason=%s\n", first == -2 ? "exited" : "timeout");
        if (first != -2)
            stop(pid);
        return 0;
    }
    /* A window may first show the picture small and then lay itself out anew: locate the marker
     * until two looks 200 ms apart agree on its box. */
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0, located = 0;
    for (int tries = 0; tries < 50 && !located; ++tries) {
        sleep_ms(200);
        int a0, a1, b0, b1;
        if (scan(s, &hx, &hy) < 2 || !marker_run(s, hx, hy, 1, &a0, &a1) ||
            !marker_run(s, (a0 + a1) / 2, hy, 0, &b0, &b1))
            continue;
        /* The grid hit may be off centre: measure the row through the box's middle. */
        const int cy0 = (b0 + b1) / 2;
        if (!marker_run(s, (a0 + a1) / 2, cy0, 1, &a0, &a1))
            continue;
        located = a1 - a0 >= 16 && a0 == x0 && a1 == x1 && b0 == y0 && b1 == y1;
        x0 = a0, x1 = a1, y0 = b0, y1 = b1;
    }
    if (!located) {
        stop(pid);
        printf("first_ms=NA reason=marker\n");
        return 0;
    }
    /* The cells sit from 21/32 to 23/32 of the picture's height, the marker from 12/32 to 20/32;
     * cell i spans [12 + i, 13 + i) / 32 of the width. */
    const double mw = x1 - x0 + 1, mh = y1 - y0 + 1;
    int cx[kCells];
    for (int i = 0; i < kCells; ++i)
        cx[i] = x0 + (int)(mw * (i + 0.5) / kCells);
    const int cy = y0 + (int)(mh * (22.0 - 12.0) / 8.0);
    if (cy >= s->height) {
        stop(pid);
        printf("first_ms=NA reason=offscreen\n");
        return 0;
    }

    int last = -1, wrapped = 0, bad = 0, changes = 0;
    double window_start = 0, cpu_start = 0;
    const double wait_until = now_ms() + timeout_ms;
    for (;;) {
        const int code = read_code(s, cx, cy);
        const double t = now_ms();
        if (code < 0 || code >= frames) {
            ++bad;
        } else if (code != last) {
            if (!wrapped && last >= 0 && code < last) {
                wrapped = 1;
                window_start = t;
                cpu_start = proc_cpu_s(pid);
                changes = 0;
            } else {
                ++changes;
            }
            last = code;
        }
        if (!wrapped && t > wait_until) { /* never wrapped: measure from here */
            wrapped = 2;
            window_start = t;
            cpu_start = proc_cpu_s(pid);
            changes = 0;
        }
        if (wrapped && t - window_start >= window_s * 1e3)
            break;
        if (exited(pid)) {
            printf("first_ms=NA reason=exited\n");
            return 0;
        }
        sleep_ms(1);
    }
    const double elapsed = (now_ms() - window_start) / 1e3;
    const double cpu = proc_cpu_s(pid) - cpu_start;
    const long rss = proc_status_kib(pid, "VmHWM");
    stop(pid);
    printf("first_ms=%.1f fps=%.2f cpu_per_s=%.3f rss_kib=%ld wrapped=%s bad_reads=%d marker=%dx%d\n", first,
           changes / elapsed, cpu / elapsed, rss, wrapped == 1 ? "yes" : "no", bad, (int)mw, (int)mh);
    return 0;
}

static int usage(void)
{
    fprintf(stderr, "usage: screenwatch first TIMEOUT_MS -- COMMAND...\n"
                    "       screenwatch play FRAMES WINDOW_S TIMEOUT_MS -- COMMAND...\n");
    return 2;
}

int main(int argc, char** argv)
{
    int sep = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            sep = i;
            break;
        }
    }
    if (argc < 3 || sep == 0 || sep + 1 >= argc)
        return usage();
    Screen s;
    if (!open_screen(&s))
        return 1;
    int status;
    if (strcmp(argv[1], "first") == 0 && sep == 3)
        status = run_first(&s, atof(argv[2]), argv + sep + 1);
    else if (strcmp(argv[1], "play") == 0 && sep == 5)
        status = run_play(&s, atoi(argv[2]), atof(argv[3]), atof(argv[4]), argv + sep + 1);
    else
        status = usage();
    xcb_disconnect(s.conn);
    return status;
}
