/* A stand-in for ffmpeg.exe in make windows-check: reads all of standard
   input and writes to its last argument how many bytes came, then every
   argument on a line of its own, so the check sees what teq.exe sent. */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

int main(int argc, char** argv) {
    static char buffer[1 << 16];
    unsigned long long total = 0;
    size_t n;
    FILE* out;
    int i;
    _setmode(_fileno(stdin), _O_BINARY);
    while ((n = fread(buffer, 1, sizeof buffer, stdin)) > 0) total += n;
    out = argc > 1 ? fopen(argv[argc - 1], "wb") : NULL;
    if (!out) return 1;
    fprintf(out, "bytes %llu\n", total);
    for (i = 1; i < argc; i++) fprintf(out, "%s\n", argv[i]);
    return fclose(out) == 0 ? 0 : 1;
}
