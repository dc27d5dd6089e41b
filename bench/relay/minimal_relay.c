/* The smallest relay that does a local server's job for game frames: it
 * admits up to four clients on their hello and copies every broadcast frame
 * to each of them behind an 11-byte wrap. The relay benchmark runs it next to
 * vornd --server so that their figures can be compared on the same machine in
 * the same run. Usage: minimal_relay PORT (binds 127.0.0.1). */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#define MAX_CLIENTS 4

static volatile sig_atomic_t stop_requested;

static void on_signal(int signal_number) {
  (void)signal_number;
  stop_requested = 1;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: minimal_relay PORT\n");
    return 2;
  }
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  struct sockaddr_in self = {0};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  self.sin_port = htons((unsigned short)atoi(argv[1]));
  if (fd < 0 || bind(fd, (struct sockaddr*)&self, sizeof self) != 0) {
    perror("minimal_relay");
    return 1;
  }
  int buffer_bytes = 1 << 18;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer_bytes, sizeof buffer_bytes);

  struct sockaddr_in clients[MAX_CLIENTS];
  int client_count = 0;
  unsigned char in[2048], out[2048 + 11];
  while (!stop_requested) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    struct timeval tv = {1, 0};
    if (select(fd + 1, &readable, NULL, NULL, &tv) <= 0) continue;
    struct sockaddr_in from;
    socklen_t from_len = sizeof from;
    ssize_t n = recvfrom(fd, in, sizeof in, 0, (struct sockaddr*)&from, &from_len);
    if (n < 5 || memcmp(in, "VORN", 4) != 0) continue;
    if (in[4] == '1' && client_count < MAX_CLIENTS) {
      clients[client_count++] = from;
      unsigned char accept[11] = {'V', 'O', 'R', 'N', '2'};
      memcpy(accept + 5, &from.sin_addr.s_addr, 4);
      memcpy(accept + 9, &from.sin_port, 2);
      sendto(fd, accept, sizeof accept, 0, (struct sockaddr*)&from, sizeof from);
    } else if (in[4] == 'B' && n >= 13) {
      memcpy(out, "VORNP", 5);
      memcpy(out + 5, &from.sin_addr.s_addr, 4);
      memcpy(out + 9, &from.sin_port, 2);
      memcpy(out + 11, in, (size_t)n);
      out[11 + 4] = '0';
      for (int i = 0; i < client_count; ++i)
        sendto(fd, out, (size_t)n + 11, 0, (struct sockaddr*)&clients[i], sizeof clients[i]);
    }
  }
  close(fd);
  return 0;
}
