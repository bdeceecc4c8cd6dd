/* The converter's job written the obvious way with C's stdio: fgets into a
 * 100-byte line buffer, strstr for the keys, sscanf for the event, count and
 * data rows, fprintf for every channel line. It produces the same files and
 * console text as Varnex_data on well-formed exports and serves as the
 * yardstick in run_benchmarks.sh. It skips the key wait at the end so that
 * it can be timed.
 *
 * Build: cc -O2 -o baseline_stdio baseline_stdio.c -lm
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define kLineLimit 100
#define kStoreCapacity 4100000L

static double t[kStoreCapacity];
static double x[kStoreCapacity];
static double y[kStoreCapacity];
static double z[kStoreCapacity];
static long sample_count;
static double cur_x, cur_y, cur_z;

static char line_buffer[kLineLimit];
static long event_number, block_number, samples_announced, last_count;

static char input_name[260];
static char output_prefix[260];
static double scale_factor = 1.0;
static long mean_removal;
static long conversion_answer;

static FILE *input_file, *log_file, *rms_file, *peak_file;

struct ChannelStats {
  double peak;
  double rms;
};
static struct ChannelStats x_stats, y_stats, z_stats;
static double overall_rms;

static void parse_sample_line(void) {
  if (!strstr(line_buffer, "e-") && !strstr(line_buffer, "e+")) return;
  if (sample_count >= kStoreCapacity) return; /* beyond the store: dropped */
  long i = sample_count;
  sscanf(line_buffer, "%lf,%lf,%lf,%lf", &t[i], &cur_x, &cur_y, &cur_z);
  cur_x *= scale_factor;
  sample_count = i + 1;
  cur_y *= scale_factor;
  cur_z *= scale_factor;
  x[i] = cur_x;
  y[i] = cur_y;
  z[i] = cur_z;
}

static FILE* open_channel(char channel) {
  char name[400];
  snprintf(name, sizeof name, "%s_%c_%ld.%ld", output_prefix, channel,
           block_number, event_number);
  FILE* f = fopen(name, "w");
  printf("\n %s \n", name);
  return f;
}

static double mean_of(const double* v, long n) {
  double sum = 0.0;
  for (long i = 0; i < n; ++i) sum += v[i];
  return sum / n;
}

static void write_channel(FILE* f, const double* v, double mean,
                          double* scratch, struct ChannelStats* s,
                          const char* format, long n) {
  for (long i = 1; i < n; ++i) {
    if (!(t[i] > t[i - 1])) continue;
    *scratch = v[i] - mean;
    if (f) fprintf(f, format, t[i], *scratch);
    if (fabs(*scratch) > s->peak) s->peak = fabs(*scratch);
    s->rms += pow(*scratch, 2.0);
  }
}

static void write_record(void) {
  long n = last_count;
  printf("\n writing data \n");
  FILE* x_file = open_channel('x');
  FILE* y_file = open_channel('y');
  FILE* z_file = open_channel('z');
  double x_mean = 0.0, y_mean = 0.0, z_mean = 0.0;
  if (mean_removal == 1) {
    x_mean = mean_of(x, n);
    y_mean = mean_of(y, n);
    z_mean = mean_of(z, n);
  }
  x_stats.peak = x_stats.rms = 0.0;
  y_stats.peak = y_stats.rms = 0.0;
  z_stats.peak = z_stats.rms = 0.0;
  write_channel(x_file, x, x_mean, &cur_x, &x_stats, "%lf %lf \n", n);
  printf("\n finished writing x");
  write_channel(y_file, y, y_mean, &cur_y, &y_stats, "%lf %lf\n", n);
  printf("\n finished writing y");
  write_channel(z_file, z, z_mean, &cur_z, &z_stats, "%lf %lf\n", n);
  printf("\n finished writing z \n");
  if (x_file) fclose(x_file);
  if (y_file) fclose(y_file);
  if (z_file) fclose(z_file);
  x_stats.rms = sqrt(x_stats.rms / n);
  y_stats.rms = sqrt(y_stats.rms / n);
  z_stats.rms = sqrt(z_stats.rms / n);
  overall_rms = sqrt(pow(z_stats.rms, 2.0) + pow(y_stats.rms, 2.0) +
                     pow(x_stats.rms, 2.0));
  fprintf(rms_file, "%ld \t %ld \t %9.4g \t %9.4g \t %9.4g \t %9.4g \n",
          event_number, block_number, x_stats.rms, y_stats.rms, z_stats.rms,
          overall_rms);
  fprintf(peak_file, "%ld \t %ld \t %9.4g \t %9.4g \t %9.4g \n", event_number,
          block_number, x_stats.peak, y_stats.peak, z_stats.peak);
  x_stats.rms = y_stats.rms = z_stats.rms = overall_rms = 0.0;
}

static void event_line_step(void) {
  sscanf(line_buffer, "Event number: %ld of OnOff block: %ld ", &event_number,
         &block_number);
  printf("\n\n %s \n", line_buffer);
  fprintf(log_file, "%s \n", line_buffer);
  sample_count = 0;
}

static void scan_records(void) {
  enum { kSeeking, kHeader, kData } state = kSeeking;
  for (;;) {
    if (state == kSeeking) {
      sample_count = 0;
      if (!fgets(line_buffer, kLineLimit, input_file)) return;
      if (strstr(line_buffer, "Event")) {
        event_line_step();
        state = kHeader;
      }
    } else if (state == kHeader) {
      if (!fgets(line_buffer, kLineLimit, input_file)) return;
      if (strstr(line_buffer, "Number of samples")) {
        sscanf(line_buffer, "Number of samples: %ld ", &samples_announced);
        printf(" Number of samples: %ld \n", samples_announced);
      }
      if (strstr(line_buffer, "Event")) {
        event_line_step();
      } else if (strstr(line_buffer, "Seconds")) {
        printf(" %s \n", line_buffer);
        state = kData;
      }
    } else {
      if (!fgets(line_buffer, kLineLimit, input_file)) return;
      parse_sample_line();
      if (sample_count == samples_announced) {
        last_count = sample_count;
        printf("\n last=%ld \n", last_count);
        write_record();
        state = kSeeking;
      }
    }
  }
}

static FILE* open_summary(const char* suffix) {
  char name[400];
  snprintf(name, sizeof name, "%s%s", output_prefix, suffix);
  return fopen(name, "w");
}

int main(void) {
  long record_type = 0;
  printf("\n\n  Varnex_data  ver 2.6    June 10, 2005 \n");
  printf("  Varnex data tools, for test engineers of three-axis recorders \n");
  printf("\n  This program converts Varnex text files into");
  printf("\n  individual channel files for each record. \n");
  printf("\n  The input file must have four columns. ");
  printf("\n  time(sec) & three acceleration columns. \n\n");
  printf("\n  Enter the input filename.\n");
  if (scanf("%259s", input_name) != 1) input_name[0] = '\0';
  input_file = fopen(input_name, "rb");
  if (!input_file) {
    printf(" Failed to open file: %s \n", input_name);
    return 2;
  }
  printf(" File: %s opened. \n", input_name);
  printf("\n\n  Enter the output filename prefix.\n");
  if (scanf("%259s", output_prefix) != 1) output_prefix[0] = '\0';
  log_file = open_summary("_log.txt");
  rms_file = open_summary("_rms.txt");
  peak_file = open_summary("_peak.txt");
  if (!log_file || !rms_file || !peak_file) return 2;
  printf("\n Enter type ");
  printf("\n 1=accel  2=strain \n");
  if (scanf("%ld", &record_type) != 1) record_type = 0;
  if (record_type == 1) {
    printf("\n\n  convert m/sec^2 to G?");
    printf("\n  1=yes  2=no\n");
    if (scanf("%ld", &conversion_answer) == 1 && conversion_answer == 1)
      scale_factor = 0.102;
  } else {
    printf("\n\n  convert strain to microstrain?");
    printf("\n  1=yes  2=no\n");
    if (scanf("%ld", &conversion_answer) == 1 && conversion_answer == 1)
      scale_factor = 1000000.0;
  }
  printf("\n\n  Mean removal?");
  printf("\n  1=yes  2=no\n");
  if (scanf("%ld", &mean_removal) != 1) mean_removal = 0;

  scan_records();

  printf("\n\n\n i=%ld \n", 0L);
  printf("\n last=%ld \n", last_count);
  printf("\n\n  The output files are: %s_x_m.n, %s_y_m.n, %s_z_m.n \n",
         output_prefix, output_prefix, output_prefix);
  printf("\n  where m is the block  number. ");
  printf("\n        n is the record number. \n");
  printf("\n\n Press any key to exit.\n");
  return 1;
}
