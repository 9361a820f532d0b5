#include "input/run_report.h"

#include <string_view>
#include <vector>

namespace orthaxis::input {

namespace {

const textio::Format kPcaHeading{
    "(///1X,'PRINCIPAL COMPONENTS ANALYSIS PERFORMED ',  'BY PROGRAM ORTHAXIS'//1X,A100)"};
const textio::Format kCoaHeading{
    "(///1X,'CORRESPONDENCE ANALYSIS PERFORMED BY PROGRAM', ' ORTHAXIS'//1X,A100//)"};
// clang-format off
const textio::Format kParameterBlock{"(//' INPUT AND RUN PARAMETERS'//' NUMBER OF ROWS =                ',I7/' NUMBER OF COLS  =               ',I7/' TYPE OF ANALYSIS =              ',A50/' NO. OF COMPONENTS RETAINED =    ',I5/' LABELS FOR OBJECTS =            ',A30/' LABELS FOR VARIABLES =          ',A30/' CORRESP. ANALYSIS =             ',A50/' MATRIX =                        ',A30/' PRINTOUT =                      ',A30/' VAR. SCORE OPTION =             ',A50/' OBJ. SCORE =                    ',A50/)"};
// clang-format on

struct FileLine {
  std::string_view literal;
  const std::string* name;
};

std::vector<FileLine> file_lines(const RunReport& r) {
  std::vector<FileLine> lines = {
      {" INPUT DATA READ FROM FILE ", &r.data_file},
      {" OBJECT SCORES ARE WRITTEN IN FILE ", &r.object_score_file},
      {" VAR. SCORES ARE WRITTEN IN FILE ", &r.variable_score_file},
  };
  if (r.matrix_file_line)
    lines.push_back({" MATRIX SAVED IN FILE ", &r.matrix_file});
  if (r.object_label_line)
    lines.push_back({" LABELS FOR OBJECTS READ FROM FILE ", &r.object_label_file});
  if (r.variable_label_line)
    lines.push_back({" LABELS FOR VARIABLES READ FROM FILE ", &r.variable_label_file});
  return lines;
}

}  // namespace

void print_run_report(textio::Printer& print, const RunReport& r) {
  print.report(r.correspondence ? kCoaHeading : kPcaHeading, {r.title});
  const textio::Printer::List block = {
      r.rows,          r.columns,         r.analysis_text,        r.components,
      r.object_labels_text, r.variable_labels_text, r.coa_text, r.matrix_text,
      r.printout_text, r.variable_scores_text, r.object_scores_text};
  print.report(kParameterBlock, block);
  const auto lines = file_lines(r);
  for (const auto& line : lines) print.report_free({line.literal, *line.name});

  print.console_free();
  print.console_free();
  print.console(kParameterBlock, block);
  for (const auto& line : lines) print.console_free({line.literal, *line.name});
  print.console_free();
  print.console_free();
}

}  // namespace orthaxis::input
