// A folder shown again through FUSE as many shares behave: a rename with flags (the one that
// never replaces) is refused with EINVAL, and with --sans-liens hard links are refused too
// (EPERM). Everything else passes through to the folder underneath.
// Usage: partage_fuse DOSSIER POINT_DE_MONTAGE [--sans-liens] [options de FUSE]
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

static int sansLiens = 0;
static int base = -1; // the folder underneath: the daemon leaves its cwd for /

// Paths below the mount point, as paths relative to the folder underneath.
static const char *rel(const char *chemin)
{
    return chemin[1] ? chemin + 1 : ".";
}
static int res(int r)
{
    return r == -1 ? -errno : 0;
}

static void *init(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    (void)conn;
    cfg->use_ino = 1;
    cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = 0;
    return NULL;
}
static int getattr(const char *p, struct stat *st, struct fuse_file_info *fi)
{
    return fi ? res(fstat((int)fi->fh, st)) : res(fstatat(base, rel(p), st, AT_SYMLINK_NOFOLLOW));
}
static int readdir_(const char *p, void *buf, fuse_fill_dir_t remplir, off_t off, struct fuse_file_info *fi, enum fuse_readdir_flags f)
{
    (void)off, (void)fi, (void)f;
    const int fd = openat(base, rel(p), O_RDONLY | O_DIRECTORY);
    DIR *d = fd < 0 ? NULL : fdopendir(fd);
    if (!d)
        return -errno;
    for (struct dirent *e; (e = readdir(d));) {
        struct stat st = {.st_ino = e->d_ino, .st_mode = (mode_t)(e->d_type << 12)};
        if (remplir(buf, e->d_name, &st, 0, 0))
            break;
    }
    closedir(d);
    return 0;
}
static int open_(const char *p, struct fuse_file_info *fi)
{
    const int fd = openat(base, rel(p), fi->flags & ~O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}
static int create(const char *p, mode_t m, struct fuse_file_info *fi)
{
    const int fd = openat(base, rel(p), fi->flags & ~O_NOFOLLOW, m);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}
static int read_(const char *p, char *buf, size_t n, off_t off, struct fuse_file_info *fi)
{
    (void)p;
    const ssize_t r = pread((int)fi->fh, buf, n, off);
    return r < 0 ? -errno : (int)r;
}
static int write_(const char *p, const char *buf, size_t n, off_t off, struct fuse_file_info *fi)
{
    (void)p;
    const ssize_t r = pwrite((int)fi->fh, buf, n, off);
    return r < 0 ? -errno : (int)r;
}
static int release(const char *p, struct fuse_file_info *fi)
{
    (void)p;
    close((int)fi->fh);
    return 0;
}
static int fsync_(const char *p, int donnees, struct fuse_file_info *fi)
{
    (void)p;
    if (!fi)
        return 0;
    return res(donnees ? fdatasync((int)fi->fh) : fsync((int)fi->fh));
}
static int fsyncdir(const char *p, int donnees, struct fuse_file_info *fi)
{
    (void)p, (void)donnees, (void)fi;
    return 0;
}
static int unlink_(const char *p) { return res(unlinkat(base, rel(p), 0)); }
static int mkdir_(const char *p, mode_t m) { return res(mkdirat(base, rel(p), m)); }
static int rmdir_(const char *p) { return res(unlinkat(base, rel(p), AT_REMOVEDIR)); }
static int rename_(const char *de, const char *vers, unsigned int drapeaux)
{
    if (drapeaux)
        return -EINVAL;
    return res(renameat(base, rel(de), base, rel(vers)));
}
static int link_(const char *de, const char *vers)
{
    if (sansLiens)
        return -EPERM;
    return res(linkat(base, rel(de), base, rel(vers), 0));
}
static int symlink_(const char *de, const char *vers) { return res(symlinkat(de, base, rel(vers))); }
static int readlink_(const char *p, char *buf, size_t n)
{
    const ssize_t r = readlinkat(base, rel(p), buf, n - 1);
    if (r < 0)
        return -errno;
    buf[r] = 0;
    return 0;
}
static int chmod_(const char *p, mode_t m, struct fuse_file_info *fi)
{
    return fi ? res(fchmod((int)fi->fh, m)) : res(fchmodat(base, rel(p), m, 0));
}
static int chown_(const char *p, uid_t u, gid_t g, struct fuse_file_info *fi)
{
    return fi ? res(fchown((int)fi->fh, u, g)) : res(fchownat(base, rel(p), u, g, AT_SYMLINK_NOFOLLOW));
}
static int truncate_(const char *p, off_t t, struct fuse_file_info *fi)
{
    if (fi)
        return res(ftruncate((int)fi->fh, t));
    const int fd = openat(base, rel(p), O_WRONLY);
    if (fd < 0)
        return -errno;
    const int r = res(ftruncate(fd, t));
    close(fd);
    return r;
}
static int utimens_(const char *p, const struct timespec tv[2], struct fuse_file_info *fi)
{
    return fi ? res(futimens((int)fi->fh, tv)) : res(utimensat(base, rel(p), tv, AT_SYMLINK_NOFOLLOW));
}
static int statfs_(const char *p, struct statvfs *s)
{
    (void)p;
    return res(fstatvfs(base, s));
}

int main(int argc, char *argv[])
{
    if (argc < 3) {
        fprintf(stderr, "Usage : %s DOSSIER POINT_DE_MONTAGE [--sans-liens] [options de FUSE]\n", argv[0]);
        return 2;
    }
    if ((base = open(argv[1], O_RDONLY | O_DIRECTORY)) < 0) {
        perror(argv[1]);
        return 1;
    }
    char *args[argc + 2];
    int n = 0;
    args[n++] = argv[0];
    args[n++] = argv[2];
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--sans-liens") == 0)
            sansLiens = 1;
        else
            args[n++] = argv[i];
    }
    args[n] = NULL;
    static const struct fuse_operations ops = {
        .init = init, .getattr = getattr, .readdir = readdir_, .open = open_, .create = create, .read = read_,
        .write = write_, .release = release, .fsync = fsync_, .fsyncdir = fsyncdir, .unlink = unlink_, .mkdir = mkdir_,
        .rmdir = rmdir_, .rename = rename_, .link = link_, .symlink = symlink_, .readlink = readlink_, .chmod = chmod_,
        .chown = chown_, .truncate = truncate_, .utimens = utimens_, .statfs = statfs_,
    };
    umask(0);
    return fuse_main(n, args, &ops, NULL);
}
