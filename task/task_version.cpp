// The program id that the task module and start-up hand to the host framework.
namespace vendrask {
extern const char* const kProgramId;
const char* const kProgramId = "VENDRASK";
}  // namespace vendrask
