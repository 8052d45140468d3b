/* Uses the installed library through its C header only: makes an archive, adds a file,
 * lists the archive and extracts the file again. Run as: consumer WORK_DIRECTORY. */
#include <mytarvo/mytarvo.h>

#include <stdio.h>
#include <string.h>

static const char kContent[] = "consumed by an installed mytarvo, consumed by an installed mytarvo\n";

static int write_text(const char *path, const char *text) {
  FILE *f = fopen(path, "wb");
  if (f == NULL) return 0;
  fputs(text, f);
  return fclose(f) == 0;
}

/* Reads at most size - 1 bytes of the file into text; returns how many. */
static size_t read_text(const char *path, char *text, size_t size) {
  FILE *f = fopen(path, "rb");
  size_t n = 0;
  if (f != NULL) {
    n = fread(text, 1, size - 1, f);
    fclose(f);
  }
  text[n] = '\0';
  return n;
}

int main(int argc, char **argv) {
  char archive[1024], source[1024], listing[1024], text[4096], line[128];
  const char *extracted;
  if (argc != 2) {
    fprintf(stderr, "usage: consumer WORK_DIRECTORY\n");
    return 2;
  }
  snprintf(archive, sizeof archive, "%s/c.pak", argv[1]);
  snprintf(source, sizeof source, "%s/note.txt", argv[1]);
  snprintf(listing, sizeof listing, "%s/list.txt", argv[1]);
  if (!write_text(source, kContent)) return 1;

  CreatePakFile(archive);
  AddToPak(archive, source, NULL, 1);
  MakeListFiles(archive, listing);
  read_text(listing, text, sizeof text);
  snprintf(line, sizeof line, "note.txt    %u    Compression: (Yes)", (unsigned)strlen(kContent));
  if (strstr(text, line) == NULL) {
    fprintf(stderr, "unexpected listing:\n%s\n", text);
    return 1;
  }
  remove(source);
  extracted = UnPak(archive, argv[1], "note.txt", NULL);
  if (read_text(extracted, text, sizeof text) != strlen(kContent) || strcmp(text, kContent) != 0) {
    fprintf(stderr, "extracting note.txt to \"%s\" failed\n", extracted);
    return 1;
  }
  printf("consumer: archive made, listed and extracted\n");
  return 0;
}
